// The framework's ordered pointer list, typed: append at the end, remove one
// entry by pointer, walk from the oldest entry, remove the newest. It never
// owns what it points to; its holders say who does.
#ifndef PAVORM_PLATFORM_AFX_AFX_PTR_LIST_H
#define PAVORM_PLATFORM_AFX_AFX_PTR_LIST_H

#include <algorithm>
#include <cstddef>
#include <vector>

template <typename T>
class CTypedPtrList {
 public:
  using const_iterator = typename std::vector<T>::const_iterator;

  void AddTail(T item) { m_items.push_back(item); }
  // Removes the oldest entry equal to item; false when there is none.
  bool RemoveOne(T item) {
    auto it = std::find(m_items.begin(), m_items.end(), item);
    if (it == m_items.end()) return false;
    m_items.erase(it);
    return true;
  }
  // Removes and returns the newest entry; null when empty.
  T RemoveTail() {
    if (m_items.empty()) return T();
    T last = m_items.back();
    m_items.pop_back();
    return last;
  }
  void RemoveAll() { m_items.clear(); }
  // The entry at index, oldest first; null outside the list.
  T GetAt(int index) const {
    return index >= 0 && static_cast<size_t>(index) < m_items.size() ? m_items[index] : T();
  }
  T GetHead() const { return m_items.empty() ? T() : m_items.front(); }
  T GetTail() const { return m_items.empty() ? T() : m_items.back(); }
  int GetCount() const { return static_cast<int>(m_items.size()); }
  bool IsEmpty() const { return m_items.empty(); }
  const_iterator begin() const { return m_items.begin(); }
  const_iterator end() const { return m_items.end(); }

 private:
  std::vector<T> m_items;
};

#endif
