#include "ParamList.h"

std::vector<WString> ParamList::SplitString(WString text, WString separator) {
    std::vector<WString> pieces;
    if (text.empty()) return pieces;
    if (separator.empty()) {
        // The position would never advance: the whole text is the one piece.
        pieces.push_back(std::move(text));
        return pieces;
    }
    size_t position = 0;
    while (position < text.size()) {
        size_t found = text.find(separator, position);
        if (found == WString::npos) {
            pieces.emplace_back(text, position);
            break;
        }
        pieces.emplace_back(text, position, found - position);
        position = found + separator.size();
    }
    return pieces;
}

WString ParamList::DoubleQuotes(const WString& text) {
    size_t quotes = 0;
    for (OLECHAR c : text)
        if (c == OLESTR('\'')) ++quotes;
    if (quotes == 0) return text;
    WString out;
    out.reserve(text.size() + quotes);
    for (OLECHAR c : text) {
        out.push_back(c);
        if (c == OLESTR('\'')) out.push_back(c);
    }
    return out;
}

bool ParamList::Contains(const WString& text, const OLECHAR* needle) {
    return text.find(needle) != WString::npos;
}

WString ParamList::FromBstr(BSTR text) {
    if (text == nullptr) return WString();
    return WString(text);
}

WStringView ParamList::ViewOf(BSTR text) {
    if (text == nullptr) return WStringView();
    return WStringView(text);
}
