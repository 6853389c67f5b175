// The grammar of the hive files, in one place: reads the text of a hive in
// the registry editor's form line by line, checks it, and hands each element
// to a Sink as it goes. HiveDocument (which rewrites files) and HiveSnapshot
// (which answers reads) both read through it, so they accept and refuse the
// same files.
//
// The form: "Windows Registry Editor Version 5.00", then [ROOT\key] sections
// and @= / "name"= values as "text", dword:xxxxxxxx, hex:.. or hex(type):..
// (a value goes on over the lines that end in '\'), blank lines and ';'
// comments. Names and texts escape only \\ and \"; any other backslash is
// itself. Anything else is refused with the line and the reason: Wine's own
// format, REGEDIT4, deletion entries ([-key], "name"=-), malformed lines,
// keys of this hive more than RegTree::kMaxDepth levels deep, invalid UTF-8.
// The text is UTF-8 without a byte-order mark (HiveFile converts the other
// encodings first).
// Thread-safety: stateless. Failure: Scan answers the refusal; nothing throws
// except std::bad_alloc.
#pragma once

#include <string>
#include <string_view>

#include "RegTree.h"

class HiveScanner {
public:
    enum class Kind {
        Filler,   // a blank line or a comment
        Start,    // the "Windows Registry Editor Version 5.00" line
        Section,  // a [ROOT\key] line
        Value,    // a value, with the lines it goes on over
    };
    // Views into the text (or, for a value's data, into the scanner's own
    // copy), valid during Take only.
    struct Element {
        Kind kind = Kind::Filler;
        size_t line = 0;        // the number of its first line
        std::string_view text;  // its lines as in the text, each with its ending
        bool own = false;       // Section: a key of this hive, not of another root
        std::string_view path;  // own Section: the key's path below the root, as written (empty levels included)
        std::string_view name;  // Value: the name as written, quotes and escapes included (see Name); "" for @
        std::string_view data;  // Value: what follows '=', trimmed, its lines joined (see Data)
    };
    class Sink {
    public:
        virtual void Take(const Element& element) = 0;

    protected:
        ~Sink() = default;
    };

    // How the bytes of a hive file are encoded.
    enum class Encoding { Utf8, Utf8WithMark, Utf16Le };
    // The UTF-8 text of a file's bytes: a view into `bytes`, or into
    // `storage` when the file is UTF-16. Answers "" or the refusal.
    static std::string Text(std::string_view bytes, Encoding& encoding, std::string& storage, std::string_view& text);

    // Reads `text`, whose sections of `rootName` (such as
    // u"HKEY_LOCAL_MACHINE") are this hive's. Answers "" when the whole text
    // is read, else the refusal, such as "line 3: ...", after the elements
    // before the refused line.
    static std::string Scan(std::string_view text, std::u16string_view rootName, Sink& sink);
    // Reads the part of a text that Scan accepted from a section header up to
    // the next section, for the values of that one section.
    static void ScanSection(std::string_view text, std::u16string_view rootName, Sink& sink);

    // A value's name from Element::name.
    static std::u16string Name(std::string_view name);
    // A value's type and bytes from Element::data, which Scan has checked.
    static void Data(std::string_view data, RegTree::Value& value);
    // A key path as written (UTF-8, '\' between levels, empty levels
    // included) in the form RegTree takes.
    static std::u16string Path(std::string_view path);
};
