// The framework's ordered pointer list, typed: append at the end, remove one
// entry by pointer, walk from the oldest entry, remove the newest. It never
// owns what it points to; its holders say who does. The library's holders
// delete each entry once, so an entry is listed at most once (asserted: a
// second listing would be deleted twice).
#ifndef PAVORM_PLATFORM_AFX_AFX_PTR_LIST_H
#define PAVORM_PLATFORM_AFX_AFX_PTR_LIST_H

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <vector>

template <typename T>
class CTypedPtrList {
 public:
  using const_iterator = typename std::vector<T>::const_iterator;

  void AddTail(T item) {
    assert(item == T() || std::find(m_Items.begin(), m_Items.end(), item) == m_Items.end());
    m_Items.push_back(item);
  }
  // Removes the oldest entry equal to item; false when there is none.
  bool RemoveOne(T item) {
    auto it = std::find(m_Items.begin(), m_Items.end(), item);
    if (it == m_Items.end()) return false;
    m_Items.erase(it);
    return true;
  }
  // Removes and returns the newest entry; null when empty.
  T RemoveTail() {
    if (m_Items.empty()) return T();
    T last = m_Items.back();
    m_Items.pop_back();
    return last;
  }
  void RemoveAll() { m_Items.clear(); }
  // The entry at index, oldest first; null outside the list.
  T GetAt(int index) const {
    return index >= 0 && static_cast<size_t>(index) < m_Items.size() ? m_Items[index] : T();
  }
  T GetHead() const { return m_Items.empty() ? T() : m_Items.front(); }
  T GetTail() const { return m_Items.empty() ? T() : m_Items.back(); }
  int GetCount() const { return static_cast<int>(m_Items.size()); }
  bool IsEmpty() const { return m_Items.empty(); }
  const_iterator begin() const { return m_Items.begin(); }
  const_iterator end() const { return m_Items.end(); }

 private:
  std::vector<T> m_Items;
};

#endif
