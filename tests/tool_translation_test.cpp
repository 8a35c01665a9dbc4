// pavorm export, build and pseudo: the translator's round trip through PO and
// XLIFF, the modules the tool writes as llvm-readobj and the loader read them,
// and the exchange files as gettext and an XLIFF 1.2 schema check them.
#include <filesystem>
#include <cstdlib>

#include "module_test_support.h"
#include "platform/win/module_table.h"
#include "platform/win/pe_image.h"
#include "platform/win/resources.h"
#include "tool_test_support.h"
#include "platform/win/wide_text.h"

namespace {

using Translation = ToolTest;

// XLIFF 1.2 (strict) as Debian's php-symfony-translation ships it, with the
// XML namespace schema it imports from the same folder (no network).
const char kSchemaDir[] = "/usr/share/php/Symfony/Component/Translation/Resources/schemas";

// (language, id) -> text of every string, as the library's loader maps the file.
test::StringTable LoadedStrings(const std::string& path) {
  test::StringTable table;
  HMODULE module = LoadLibraryExW(test::Wide(path).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  EXPECT_NE(module, nullptr) << path;
  if (module == nullptr) return table;
  pavo::ModuleImage(module)->ForEachString([&](UINT id, WORD lang, const BYTE* bytes, size_t units) {
    pavo::WideString s;
    for (size_t i = 0; i < units; ++i) s.push_back(static_cast<WCHAR>(bytes[2 * i] | (bytes[2 * i + 1] << 8)));
    table[{lang, id}] = s;
  });
  FreeLibrary(module);
  return table;
}

test::StringTable OneLanguage(const test::StringTable& all, unsigned language) {
  test::StringTable out;
  for (const auto& [key, text] : all) {
    if (key.first == language) out[key] = text;
  }
  return out;
}

std::string Utf8(const pavo::WideString& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    uint32_t c = s[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size()) c = 0x10000 + ((c - 0xD800) << 10) + (s[++i] - 0xDC00);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

class TranslationFiles : public ToolTest {
 protected:
  // Builds FILE into NAME.dll and returns the module's strings.
  test::StringTable Build(const std::vector<std::string>& args, const std::string& dll) {
    std::vector<std::string> all = {"build"};
    all.insert(all.end(), args.begin(), args.end());
    all.insert(all.end(), {"-o", Path(dll)});
    const ToolRun r = Run(all);
    EXPECT_EQ(r.status, 0) << r.err;
    return r.status == 0 ? LoadedStrings(Path(dll)) : test::StringTable();
  }
  std::string PoHeader(const std::string& language) const {
    return "msgid \"\"\nmsgstr \"\"\n\"Content-Type: text/plain; charset=UTF-8\\n\"\n\"Language: " + language +
           "\\n\"\n\n";
  }
};

// Every string of a three-language module survives module -> XLIFF -> module
// and, one language at a time, module -> PO -> module; the rebuilt module is
// the one llvm-rc and lld-link made, as llvm-readobj shows both.
TEST_F(TranslationFiles, RoundTripKeepsEveryStringOfEveryLanguage) {
  const std::string original = TestModule("RoundTrip.dll");
  PAVORM_NEED_READOBJ();
  const test::StringTable expected = test::ReadObjStrings(original);
  ASSERT_EQ(expected.size(), 16u + 6u + 2u);  // the empty entry 17 is no string
  ASSERT_EQ(LoadedStrings(original), expected);

  ASSERT_EQ(Run({"export", original, "--base", original, "--source-lang", "enu", "-o", Path("all.xlf")}).status, 0);
  Build({Path("all.xlf")}, "xliff.dll");
  EXPECT_EQ(test::ReadObjStrings(Path("xliff.dll")), expected);
  EXPECT_EQ(LoadedStrings(Path("xliff.dll")), expected);

  for (const auto& [name, language] : std::vector<std::pair<std::string, unsigned>>{
           {"enu", 0x0409}, {"deu", 0x0407}, {"fra", 0x040C}}) {
    SCOPED_TRACE(name);
    const std::string po = Path(name + ".po");
    const ToolRun exported = Run({"export", original, "--base", original, "--source-lang", "enu", "--lang", name, "-o", po});
    ASSERT_EQ(exported.status, 0) << exported.err;
    EXPECT_EQ(Build({po}, name + ".dll"), OneLanguage(expected, language));
  }

  // A PO file holds one language: asking for all of them is a usage error.
  const ToolRun several = Run({"export", original, "--base", original, "--source-lang", "enu", "-o", Path("x.po")});
  EXPECT_EQ(several.status, 2);
  EXPECT_NE(several.err.find("several languages"), std::string::npos) << several.err;
}

// A template (the base alone) has no translations: built, it holds nothing
// unless --fill gives each entry its base text, which round-trips the base.
TEST_F(TranslationFiles, TemplateIsEmptyAndFillRebuildsTheBase) {
  const std::string english = Lang("PavoRmenu.dll");
  for (const char* file : {"template.po", "template.xlf"}) {
    SCOPED_TRACE(file);
    ASSERT_EQ(Run({"export", english, "-o", Path(file)}).status, 0);
    const ToolRun none = Run({"build", Path(file), "--lang", "enu", "-o", Path("none.dll")});
    EXPECT_EQ(none.status, 1);
    EXPECT_NE(none.err.find("no translated strings"), std::string::npos) << none.err;
    const ToolRun noLanguage = Run({"build", Path(file), "--fill", "-o", Path("x.dll")});
    EXPECT_EQ(noLanguage.status, 1);
    EXPECT_NE(noLanguage.err.find("give --lang"), std::string::npos) << noLanguage.err;
    EXPECT_EQ(Build({Path(file), "--fill", "--lang", "enu"}, "filled.dll"), LoadedStrings(english));
  }
}

// The longest text an entry holds (65535 units), ids 0 and 65535 and a
// surrogate pair, from a hand-written XLIFF file; one unit more is refused.
TEST_F(TranslationFiles, LongestStringAndBothEndsOfTheIdRange) {
  const std::string longest(65535, 'x');
  auto xliff = [](const std::string& text) {
    return "<?xml version=\"1.0\"?>\n<xliff version=\"1.2\"><file original=\"a\" source-language=\"en-US\" "
           "target-language=\"de-DE\" datatype=\"winres\"><body>"
           "<trans-unit id=\"0\"><source>s</source><target>" + text + "</target></trans-unit>"
           "<trans-unit id=\"65535\"><source>s</source><target state=\"final\">\xF0\x9D\x84\x9E end</target></trans-unit>"
           "</body></file></xliff>";
  };
  Write("long.xlf", xliff(longest));
  const test::StringTable built = Build({Path("long.xlf")}, "long.dll");
  ASSERT_EQ(built.size(), 2u);
  EXPECT_EQ(built.at({0x0407, 0}), pavo::WideString(65535, WTEXT('x')));
  EXPECT_EQ(built.at({0x0407, 65535}), WTEXT("\U0001D11E end"));
  PAVORM_NEED_READOBJ();
  EXPECT_EQ(test::ReadObjStrings(Path("long.dll")), built);
  // The same through PO and back, byte for byte (the writer is deterministic).
  ASSERT_EQ(Run({"export", Path("long.dll"), "--base", Path("long.dll"), "-o", Path("long.po")}).status, 0);
  Build({Path("long.po")}, "again.dll");
  EXPECT_EQ(Slurp(Path("again.dll")), Slurp(Path("long.dll")));

  Write("toolong.xlf", xliff(longest + "x"));
  const ToolRun r = Run({"build", Path("toolong.xlf"), "-o", Path("x.dll")});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("more than the 65535"), std::string::npos) << r.err;
}

// The module is a real PE32+ resource-only DLL: llvm-readobj reads every
// part without a word on standard error, and the loader finds the strings
// by LoadStringW's rules.
TEST_F(TranslationFiles, BuiltModuleIsWhatReadobjAndTheLoaderExpect) {
  const std::string original = TestModule("RoundTrip.dll");
  ASSERT_EQ(Run({"export", original, "--base", original, "--source-lang", "enu", "-o", Path("all.xlf")}).status, 0);
  ASSERT_EQ(Run({"build", Path("all.xlf"), "-o", Path("m.dll")}).status, 0);
  PAVORM_NEED_READOBJ();
  const portable::ProcessRun readobj =
      portable::RunProcess(portable::HostProgram(PAVORM_LLVM_READOBJ),
                           {"--file-headers", "--sections", "--coff-resources", portable::HostPath(Path("m.dll"))});
  ASSERT_EQ(readobj.status, 0);
  EXPECT_EQ(readobj.err, "");
  const std::string& headers = readobj.out;
  for (const char* line : {"Magic: 0x20B", "IMAGE_FILE_DLL (0x2000)", "AddressOfEntryPoint: 0x0", "SizeOfCode: 0",
                           "Name: .rsrc", "SectionCount: 1"}) {
    EXPECT_NE(headers.find(line), std::string::npos) << line;
  }
  PAVORM_SKIP_UNDER_WINE(PAVORM_WINE_NEUTRAL_FIRST);
  HMODULE module = LoadLibraryExW(test::Wide(Path("m.dll")).c_str(), nullptr, 0);
  ASSERT_NE(module, nullptr);
  WCHAR buffer[64];
  SetThreadUILanguage(0x0407);
  EXPECT_EQ(LoadStringW(module, 65535, buffer, 64), 17);
  EXPECT_EQ(pavo::WideString(buffer), WTEXT("die letzte Nummer"));
  EXPECT_EQ(LoadStringW(module, 17, buffer, 64), 0);  // the empty entry stays absent
  SetThreadUILanguage(0x0409);
  EXPECT_EQ(LoadStringW(module, 4095, buffer, 64), 16);
  SetThreadUILanguage(0);
  FreeLibrary(module);
}

// The exchange files pass gettext's own check (msgfmt -c --check-format) and
// the XLIFF 1.2 strict schema.
TEST_F(TranslationFiles, FilesPassMsgfmtAndTheXliffSchema) {
  const std::string english = Lang("PavoRmenu.dll");
  const std::string original = TestModule("RoundTrip.dll");
  ASSERT_EQ(Run({"export", english, "--lang", "deu", "-o", Path("template.po")}).status, 0);
  ASSERT_EQ(Run({"export", Lang("PavoRmdeu.dll"), "--base", english, "-o", Path("de.po")}).status, 0);
  ASSERT_EQ(Run({"export", original, "--base", original, "--source-lang", "enu", "--lang", "enu", "-o",
                 Path("rt.po")}).status, 0);
  ASSERT_EQ(Run({"pseudo", english, "-o", Path("qps.po")}).status, 0);
  for (const char* po : {"template.po", "de.po", "rt.po", "qps.po"}) {
    SCOPED_TRACE(po);
    const portable::ProcessRun msgfmt =
        portable::RunProcess(portable::HostProgram("msgfmt"),
                             {"-c", "--check-format", "-o", "/dev/null", portable::HostPath(Path(po))});
    EXPECT_EQ(msgfmt.status, 0);
    EXPECT_EQ(msgfmt.err, "");
  }

  Write("catalog.xml", std::string("<?xml version=\"1.0\"?>\n<catalog xmlns=\"urn:oasis:names:tc:entity:xmlns:xml:catalog\">"
                                   "<system systemId=\"http://www.w3.org/2001/xml.xsd\" uri=\"file://") +
                           kSchemaDir + "/xml.xsd\"/></catalog>\n");
  ASSERT_EQ(Run({"export", english, "-o", Path("template.xlf")}).status, 0);
  ASSERT_EQ(Run({"export", original, "--base", original, "--source-lang", "enu", "-o", Path("rt.xlf")}).status, 0);
  ASSERT_EQ(Run({"pseudo", english, "--mirror", "-o", Path("qpm.xlf")}).status, 0);
  for (const char* xlf : {"template.xlf", "rt.xlf", "qpm.xlf"}) {
    SCOPED_TRACE(xlf);
    portable::ProcessOptions options;
    options.setEnv = {{"XML_CATALOG_FILES", portable::HostPath(Path("catalog.xml"))}};
    const portable::ProcessRun xmllint =
        portable::RunProcess(portable::HostProgram("xmllint"),
                             {"--nonet", "--noout", "--schema", std::string(kSchemaDir) + "/xliff-core-1.2-strict.xsd",
                              portable::HostPath(Path(xlf))},
                             options);
    EXPECT_EQ(xmllint.status, 0) << xmllint.err;
  }
}

// Standard input and output stand for "-".
TEST_F(TranslationFiles, DashIsStandardInputAndOutput) {
  const std::string english = Lang("PavoRmenu.dll");
  const ToolRun po = Run({"export", english, "--format", "po", "-o", "-"});
  ASSERT_EQ(po.status, 0);
  EXPECT_NE(po.out.find("msgctxt \"28510\"\nmsgid \"Cancel\"\n"), std::string::npos);
  EXPECT_NE(po.err.find("a template"), std::string::npos);  // the report leaves standard output to the file
  Write("in.po", po.out);
  const ToolRun dll = Run({"build", "-", "--format", "po", "--fill", "--lang", "enu", "-o", "-"}, "in.po");
  ASSERT_EQ(dll.status, 0) << dll.err;
  Write("out.dll", dll.out);
  EXPECT_EQ(LoadedStrings(Path("out.dll")), LoadedStrings(english));
  const ToolRun fromStdin = Run({"export", "-", "--format", "xliff", "-o", Path("x.xlf")}, "out.dll");
  EXPECT_EQ(fromStdin.status, 0) << fromStdin.err;
}

// The PO reader takes what translation tools write and names the line of
// anything it would have to guess at.
TEST_F(TranslationFiles, PoReaderIsStrictAndNamesTheLine) {
  // BOM, CRLF, comments, flags, an obsolete entry, multi-line strings, escapes.
  Write("good.po", "\xEF\xBB\xBF# translator's comment\r\n" + PoHeader("de_DE") +
                       "#. note\r\n#: ref\r\n#, c-format\r\nmsgctxt \"1\"\r\nmsgid \"a\"\r\nmsgstr \"\"\r\n"
                       "\"eins\\n\"\r\n  \"zwei \\\"\\\\\\t\\101\\x42\"\r\n\r\n"
                       "#, fuzzy\nmsgctxt \"2\"\nmsgid \"b\"\nmsgstr \"unsicher\"\n\n"
                       "#~ msgctxt \"3\"\n#~ msgid \"old\"\n#~ msgstr \"alt\"\n\n"
                       "msgctxt \"4\"\nmsgid \"c\"\nmsgstr \"\"\n");
  test::StringTable built = Build({Path("good.po")}, "good.dll");
  EXPECT_EQ(built, (test::StringTable{{{0x0407, 1}, WTEXT("eins\nzwei \"\\\tAB")}}));
  const ToolRun partial = Run({"build", Path("good.po"), "-o", Path("p.dll")});
  EXPECT_NE(partial.err.find("2 untranslated string(s) left out"), std::string::npos) << partial.err;
  built = Build({Path("good.po"), "--fill"}, "filled.dll");
  EXPECT_EQ(built.at({0x0407, 2}), WTEXT("b"));  // fuzzy: the base text, not the guess
  EXPECT_EQ(built.at({0x0407, 4}), WTEXT("c"));

  const std::vector<std::pair<std::string, std::string>> bad = {
      {"msgctxt \"1\"\nmsgid \"a\"\nmsgid_plural \"as\"\nmsgstr[0] \"x\"\n", ":8: plural forms"},
      {"msgid \"a\"\nmsgstr \"x\"\n", ":6: entry without msgctxt"},
      {"msgctxt \"70000\"\nmsgid \"a\"\nmsgstr \"x\"\n", ":6: msgctxt \"70000\" is not a string id"},
      {"msgctxt \"id\"\nmsgid \"a\"\nmsgstr \"x\"\n", "is not a string id"},
      {"msgctxt \"1\"\nmsgid \"a\"\nmsgstr \"x\"\n\nmsgctxt \"1\"\nmsgid \"b\"\nmsgstr \"y\"\n", ":10: a second entry"},
      {"msgctxt \"1\"\nmsgid \"a\"\nmsgstr \"x\\q\"\n", ":8: unknown escape"},
      {"msgctxt \"1\"\nmsgid \"a\"\nmsgstr \"x\n", ":8: string not closed"},
      {"msgctxt \"1\"\nmsgid \"a\"\nmsgstr \"\\377\"\n", "not UTF-8"},
      {"msgctxt \"1\"\nmsgid \"a\"\nmsgstr \"\xC3\"\n", ":8: not UTF-8"},
      {"msgctxt \"1\"\nmsgid \"a\"\nmsgstr \"a\\0b\"\n", "NUL"},
      {"msgctxt \"1\"\nmsgstr \"x\"\n", ":7: msgstr without a msgid"},
      {"msgctxt \"1\"\nmsgid \"a\"\n", "entry without msgstr"},
      {"msgctxt \"1\"\nmsgid \"a\"\nmsgstr \"x\" y\n", "text after the closing"},
  };
  for (const auto& [body, message] : bad) {
    SCOPED_TRACE(body);
    Write("bad.po", PoHeader("de_DE") + body);
    const ToolRun r = Run({"build", Path("bad.po"), "-o", Path("bad.dll")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.ErrLines(), 1u) << r.err;
    EXPECT_NE(r.err.find(Path("bad.po") + ":"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
  }
  for (const auto& [header, message] : std::vector<std::pair<std::string, std::string>>{
           {"msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=ISO-8859-1\\n\"\n", "save the file as UTF-8"},
           {PoHeader("xx_QQ"), "unknown language 'xx_QQ'"},
           {"", "before the header entry"},
           {"\xFF\xFE", "UTF-16"}}) {
    Write("h.po", header + "\nmsgctxt \"1\"\nmsgid \"a\"\nmsgstr \"x\"\n");
    const ToolRun r = Run({"build", Path("h.po"), "-o", Path("h.dll")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
  }
}

// XLIFF targets count by their state; what this format cannot hold (inline
// markup, ids that are not string ids) is refused; groups and prefixes are read.
TEST_F(TranslationFiles, XliffReaderStatesAndRefusals) {
  auto file = [](const std::string& units) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<x:xliff xmlns:x=\"urn:oasis:names:tc:xliff:document:1.2\" "
           "version=\"1.2\"><x:file original=\"o\" source-language=\"en-US\" target-language=\"fr-FR\" "
           "datatype=\"winres\"><x:body>" + units + "</x:body></x:file></x:xliff>\n";
  };
  Write("states.xlf",
        file("<x:group><x:group><x:trans-unit id=\"1\"><x:source>a</x:source><x:target>un</x:target></x:trans-unit>"
             "</x:group></x:group>"
             "<x:trans-unit id=\"2\"><x:source>b</x:source><x:target state=\"new\">deux</x:target></x:trans-unit>"
             "<x:trans-unit id=\"3\"><x:source>c</x:source><x:target state=\"needs-review-translation\">trois"
             "</x:target></x:trans-unit>"
             "<x:trans-unit id=\"4\"><x:source>d</x:source></x:trans-unit>"
             "<x:trans-unit id=\"5\"><x:source>e</x:source><x:target state=\"signed-off\">&#xD;cinq&amp;</x:target>"
             "</x:trans-unit>"));
  EXPECT_EQ(Build({Path("states.xlf")}, "s.dll"),
            (test::StringTable{{{0x040C, 1}, WTEXT("un")}, {{0x040C, 5}, WTEXT("\rcinq&")}}));
  for (const auto& [units, message] : std::vector<std::pair<std::string, std::string>>{
           {"<x:trans-unit id=\"1\"><x:source>a</x:source><x:target>a <g id=\"1\">b</g></x:target></x:trans-unit>",
            "inline markup"},
           {"<x:trans-unit id=\"name\"><x:source>a</x:source></x:trans-unit>", "is not a string id"},
           {"<x:trans-unit id=\"1\"><x:target>a</x:target></x:trans-unit>", "has no <source>"},
           {"<x:trans-unit id=\"1\"><x:source>a</x:source></x:trans-unit>"
            "<x:trans-unit id=\"1\"><x:source>a</x:source></x:trans-unit>", "a second trans-unit"},
           {"<x:trans-unit id=\"1\"><x:source>a&#0;b</x:source></x:trans-unit>", "character reference"},
           {"<x:trans-unit id=\"1\"><x:source>a</x:source></x:trans-unit", "not closed"}}) {
    SCOPED_TRACE(units);
    Write("bad.xlf", file(units));
    const ToolRun r = Run({"build", Path("bad.xlf"), "-o", Path("bad.dll")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.ErrLines(), 1u) << r.err;
    EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
  }
}

// What a format cannot carry stops the export with the id, and a
// translation that changes its inserts stops the build.
TEST_F(TranslationFiles, UnwritableTextsAndChangedInsertsAreRefused) {
  Write("ctl.po", PoHeader("en_US") + "msgctxt \"7\"\nmsgid \"a\"\nmsgstr \"bell\\a\"\n");
  Build({Path("ctl.po")}, "ctl.dll");
  const ToolRun xliff = Run({"export", Path("ctl.dll"), "-o", Path("ctl.xlf")});
  EXPECT_EQ(xliff.status, 1);
  EXPECT_NE(xliff.err.find("string 7 holds U+0007, which XML 1.0 cannot carry"), std::string::npos) << xliff.err;
  EXPECT_EQ(Run({"export", Path("ctl.dll"), "-o", Path("ctl.po")}).status, 0);  // PO writes it as \a

  Write("ins.po", PoHeader("de_DE") + "msgctxt \"1\"\nmsgid \"%1!d! of %2\"\nmsgstr \"%1!s! von %2\"\n\n"
                                      "msgctxt \"2\"\nmsgid \"%1\"\nmsgstr \"ohne\"\n");
  const ToolRun r = Run({"build", Path("ins.po"), "-o", Path("ins.dll")});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("string 1: inserts differ from the base text: base %1!d! %2!s!, here %1!s! %2!s! (and 1 more)"),
            std::string::npos)
      << r.err;
}

// The pseudo-language changes every readable letter and keeps what programs
// parse; check finds nothing against its base, and a host switches to it.
TEST_F(TranslationFiles, PseudoKeepsWhatProgramsParseAndPassesCheck) {
  const std::string original = TestModule("RoundTrip.dll");
  const ToolRun r = Run({"pseudo", original, "-o", Path("RoundTripqps.dll")});
  ASSERT_EQ(r.status, 0) << r.err;
  const test::StringTable pseudo = LoadedStrings(Path("RoundTripqps.dll"));
  ASSERT_EQ(pseudo.size(), 16u);
  auto text = [&](unsigned id) { return Utf8(pseudo.at({0x0501, id})); };
  EXPECT_EQ(text(0), "[\xC5\xBE\xC3\xA9\xC5\x95\xC3\xB6]");  // [žéŕö]
  EXPECT_EQ(text(2).front(), '[');
  EXPECT_EQ(text(2).substr(text(2).size() - 2), "]\n");  // the line break stays last
  EXPECT_EQ(text(3).substr(0, 3), "\r\n[");
  EXPECT_EQ(text(4).substr(0, 3), "  [");
  EXPECT_NE(text(5).find("\xF0\x9D\x84\x9E"), std::string::npos);  // 𝄞 as it was
  EXPECT_NE(text(6).find("%1!d! "), std::string::npos);
  EXPECT_NE(text(6).find("%2!s!, 100%% "), std::string::npos);
  EXPECT_NE(text(6).find("%n%0"), std::string::npos);
  EXPECT_EQ(text(7).substr(0, 3), "[&F");          // the key letter itself is kept
  EXPECT_EQ(text(8).substr(0, 3), "[&&");
  EXPECT_EQ(text(9).substr(text(9).size() - 2), "]%");  // a lone '%' joins nothing
  for (const char* directive : {"%s,", "%-10.3f,", "%I64d,", "%ls,", "%1$s"}) {
    EXPECT_NE(text(10).find(directive), std::string::npos) << directive;
  }
  EXPECT_NE(text(11).find("\\d"), std::string::npos);  // C:\dir\file: backslash escapes kept
  EXPECT_NE(text(11).find("\\f"), std::string::npos);
  // About a third longer: the longest strings grow by 30 to 40 per cent.
  const double ratio = static_cast<double>(pseudo.at({0x0501, 1}).size()) /
                       static_cast<double>(OneLanguage(LoadedStrings(original), 0x0409).at({0x0409, 1}).size());
  EXPECT_GE(ratio, 1.3);
  EXPECT_LE(ratio, 1.4);

  const ToolRun check = Run({"check", TestModule("RoundTrip.dll"), Path("RoundTripqps.dll"), "--json"});
  EXPECT_EQ(check.status, 0) << check.out;
  EXPECT_NE(check.out.find("\"ok\": true"), std::string::npos) << check.out;

  const ToolRun mirrored = Run({"pseudo", original, "--mirror", "-o", Path("m.dll")});
  ASSERT_EQ(mirrored.status, 0);
  EXPECT_EQ(Utf8(LoadedStrings(Path("m.dll")).at({0x09FF, 0})),
            "[\xE2\x80\xAE\xC5\xBE\xC3\xA9\xC5\x95\xC3\xB6\xE2\x80\xAC]");
  EXPECT_EQ(Run({"check", original, Path("m.dll")}).status, 0);
}

// check for translators: strings left as the base text (unless allowed or
// without letters), accelerator keys, over-long texts, and the share translated.
TEST_F(TranslationFiles, CheckReportsWhatTranslatorsMissed) {
  auto po = [&](const std::string& language, const std::vector<std::pair<int, std::string>>& strings) {
    std::string text = PoHeader(language);
    for (const auto& [id, value] : strings) {
      text += "msgctxt \"" + std::to_string(id) + "\"\nmsgid \"" + value + "\"\nmsgstr \"" + value + "\"\n\n";
    }
    return text;
  };
  Write("base.po", po("en_US", {{1, "&Open"}, {2, "&Save"}, {3, "Cancel"}, {4, "OK"}, {5, "%1: %2"},
                                {6, "Short"}, {7, "R&D and Q&A"}, {8, "Exit"}}));
  Write("de.po", po("de_DE", {{1, "&Datei &\u00d6ffnen"}, {2, "Speichern"}, {3, "Cancel"}, {4, "OK"},
                              {5, "%1: %2"}, {6, "Viel zu lang geraten"}, {7, "F&E und F&A"}}));
  Build({Path("base.po")}, "base.dll");
  Build({Path("de.po")}, "de.dll");
  Write("allow.txt", "# may stay\nOK\n\n");
  const ToolRun r = Run({"check", Path("base.dll"), Path("de.dll"), "--allow-file", Path("allow.txt"),
                         "--max-ratio", "3"});
  EXPECT_EQ(r.status, 1);
  const std::string de = Path("de.dll") + ": ";
  for (const std::string& line : {de + "1: several accelerator keys: &D, &\u00d6\n",
                                  de + "2: no accelerator key (the base has &S)\n",
                                  de + "3: untranslated (the same as the base)\n",
                                  de + "6: 4.00 times as long as the base (limit 3.00)\n",
                                  de + "missing 8\n",
                                  de + "5 problem(s) (7 strings, base 8; 6 of 8 translated, 75.0 %)\n"}) {
    EXPECT_NE(r.out.find(line), std::string::npos) << line << r.out;
  }
  // OK is allowed by text, "%1: %2" has nothing to translate, and a message
  // with ampersands in its base is no label.
  for (const char* id : {": 4:", ": 5:", ": 7:"}) EXPECT_EQ(r.out.find(id), std::string::npos) << id << r.out;
  const ToolRun allowed = Run({"check", Path("base.dll"), Path("de.dll"), "--allow", "3,4", "--json"});
  EXPECT_EQ(allowed.status, 1);
  EXPECT_NE(allowed.out.find("\"translated\": 7, \"percent_translated\": 87.5"), std::string::npos) << allowed.out;
  EXPECT_NE(allowed.out.find("{\"id\": 8, \"kind\": \"missing\", \"message\": \"missing 8\"}"),
            std::string::npos) << allowed.out;
  EXPECT_EQ(allowed.out.find("untranslated"), std::string::npos) << allowed.out;
  EXPECT_EQ(Run({"check", Path("base.dll"), Path("de.dll"), "--max-ratio", "zero"}).status, 2);
}

TEST_F(TranslationFiles, DemoSwitchesToThePseudoLanguage) {
  std::filesystem::create_directories(std::filesystem::u8path(Path("lang")));
  std::filesystem::copy_file(std::filesystem::u8path(Lang("PavoRmenu.dll")), std::filesystem::u8path(Path("lang/PavoRmenu.dll")));
  ASSERT_EQ(Run({"pseudo", Lang("PavoRmenu.dll"), "-o", Path("lang/PavoRmqps.dll")}).status, 0);
  const ToolRun demo = Run({"demo", "--lang", "qps", "--lang-dir", Path("lang")});
  ASSERT_EQ(demo.status, 0) << demo.err;
  EXPECT_NE(demo.out.find("Switching to Pseudo-language (qps)"), std::string::npos) << demo.out;
  EXPECT_NE(demo.out.find("now uses " + Path("lang") + "/PavoRmqps.dll"), std::string::npos) << demo.out;
  EXPECT_NE(demo.out.find("28510  [\xC3\x87\xC3\xA0\xC3\xB1\xC3\xA7\xC3\xA9\xC4\xBC]"), std::string::npos)
      << demo.out;  // [Çàñçéļ]
}

}  // namespace
