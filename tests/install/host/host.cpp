// Prints string 28510 of the library in the language given as argv[2], with
// its configuration in the hive file argv[1]: what a host does, in brief.
#include <cstdio>
#include <string>

#include "PavoRm51.h"
#include "ezxml.h"

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const std::u16string hive(argv[1], argv[1] + std::char_traits<char>::length(argv[1]));
  const std::u16string language(argv[2], argv[2] + std::char_traits<char>::length(argv[2]));
  HKEY root = nullptr;
  if (RegLoadAppKeyW(hive.c_str(), &root, KEY_ALL_ACCESS, 0, 0) != ERROR_SUCCESS) return 1;
  int status = 1;
  {
    PavoRmResourceManager manager;
    PavoRmCString languageDir(LANGUAGE_DIR);
    PavoRmInit(new PavoRmInformationRegistry(root, WTEXT("Software\\Host"), languageDir, language.c_str()));
    PavoRmCString text;
    if (text.LoadStringW(PavoRmCString(WTEXT("PavoRm")), 28510, 0) != 0) {
      char utf8[256];
      const int n = WideCharToMultiByte(CP_UTF8, 0, text.GetString(), text.GetLength(), utf8, sizeof utf8 - 1,
                                        nullptr, nullptr);
      utf8[n > 0 ? n : 0] = '\0';
      std::printf("%s\n", utf8);
      status = 0;
    }
    PavoRmExit();
  }
  RegCloseKey(root);
  // The C interface of the XML library is installed too.
  ezxml_node* doc = ezxml_new("ok");
  ezxml_free(doc);
  return status;
}
