// The text of one hive file, kept line by line, so that writing a changed
// tree back rewrites only the lines of the keys and values that changed.
// Comments, blank lines, the order of sections, sections of other roots, the
// spelling of untouched values (hex continued over lines, for example), the
// line ending and the encoding (UTF-8 with or without a byte-order mark, or
// UTF-16LE with one, as the registry editor exports) all stay as they were.
//
// The file is read through HiveScanner (which gives the form, and what is
// refused). A refused file must be left as it is.
// New keys are written as sections after the nearest existing key before
// them in key order, new values at the end of their key's last section.
// Thread-safety: immutable once parsed. Failure: Refused() with Error();
// nothing throws except std::bad_alloc.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "HiveScanner.h"
#include "RegTree.h"

class HiveDocument {
public:
    // An empty hive: no file yet. Rendering it starts with the header.
    explicit HiveDocument(std::u16string rootName);

    // The file's bytes; `rootName` names the sections of this hive, such as
    // u"HKEY_LOCAL_MACHINE" (sections of other roots are kept, not read).
    static HiveDocument Parse(std::string_view bytes, std::u16string rootName);
    // A file that could not even be read, for `reason`.
    static HiveDocument Unreadable(std::u16string rootName, const std::string& reason);

    bool Refused() const { return !error_.empty(); }
    // Why the file was refused, such as "line 3: ...".
    const std::string& Error() const { return error_; }
    // The keys and values of the file (empty when refused).
    const RegTree& Tree() const { return tree_; }

    // The bytes of the file with `tree` in place of Tree(); equal to the
    // bytes read when nothing changed. Not for a refused document.
    std::string Render(const RegTree& tree) const;

private:
    struct Line {
        std::u16string text;  // without its line ending
        std::u16string end;   // "\n", "\r\n", or "" on a last line without one
    };
    struct Item {
        std::vector<Line> lines;  // a comment or blank line, or a value (with its continuations)
        bool value = false;
        std::u16string name;      // values: the folded name
        bool effective = false;   // values: the last spelling of the name in the key, which holds it
    };
    struct Section {
        std::vector<Line> leading;  // comments and blank lines above the header
        Line header;
        bool own = false;           // a key of this hive (other roots are kept verbatim)
        std::u16string key;         // own: the key's folded path
        bool lastOfKey = false;     // own: the key's last section, where new values go
        std::vector<Item> items;
    };
    class Output;
    class Builder;
    // A key the file has no section for, with its path as written.
    struct NewSection {
        const RegTree::Key* key;
        std::u16string path;
    };

    void Fail(const std::string& error);
    void MarkEffective();
    void RenderSection(const Section& section, const RegTree& tree, Output& out) const;
    std::u16string SectionHeader(const std::u16string& path) const;
    std::u16string ValueLine(const RegTree::Value& value) const;
    std::string Encode(const std::u16string& text) const;

    std::u16string rootName_;
    HiveScanner::Encoding encoding_ = HiveScanner::Encoding::Utf8;
    std::u16string newline_ = u"\n";
    bool hasHeader_ = false;
    std::vector<Line> preamble_;  // the header and what precedes the first section
    std::vector<Section> sections_;
    std::vector<Line> trailer_;   // comments and blank lines after the last value
    RegTree tree_;
    std::string error_;
};
