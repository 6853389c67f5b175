#include "com/RegistryScript.h"

#include <new>
#include <optional>

namespace {
struct ScriptError {};

OLECHAR Lower(OLECHAR c) { return c >= u'A' && c <= u'Z' ? static_cast<OLECHAR>(c - u'A' + u'a') : c; }

bool SameText(const WString& a, const OLECHAR* b) {
    size_t i = 0;
    for (; i < a.size() && b[i] != 0; ++i) {
        if (Lower(a[i]) != Lower(b[i])) return false;
    }
    return i == a.size() && b[i] == 0;
}

bool IsSpace(OLECHAR c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

std::optional<HKEY> RootKey(const WString& name) {
    const struct {
        const OLECHAR* shortName;
        const OLECHAR* longName;
        HKEY key;
    } roots[] = {
        {OLESTR("HKCR"), OLESTR("HKEY_CLASSES_ROOT"), HKEY_CLASSES_ROOT},
        {OLESTR("HKCU"), OLESTR("HKEY_CURRENT_USER"), HKEY_CURRENT_USER},
        {OLESTR("HKLM"), OLESTR("HKEY_LOCAL_MACHINE"), HKEY_LOCAL_MACHINE},
        {OLESTR("HKU"), OLESTR("HKEY_USERS"), HKEY_USERS},
    };
    for (const auto& root : roots) {
        if (SameText(name, root.shortName) || SameText(name, root.longName)) return root.key;
    }
    return std::nullopt;
}
}  // namespace

// Reads tokens from the script text; throws ScriptError on bad syntax.
class RegistryScript::Reader {
public:
    Reader(const OLECHAR* text, const Replacements& replacements) : text_(text), replacements_(replacements) {}

    std::vector<Root> Script() {
        std::vector<Root> roots;
        while (Next()) {
            if (quoted_) throw ScriptError{};
            const std::optional<HKEY> root = RootKey(token_);
            if (!root) throw ScriptError{};
            Root parsed;
            parsed.root = *root;
            Expect(OLESTR("{"));
            while (NextRequired(), !IsBrace(u'}')) parsed.keys.push_back(KeyAtToken());
            roots.push_back(std::move(parsed));
        }
        return roots;
    }

private:
    // Reads the key that starts at the current token (its flag or its name).
    Key KeyAtToken() {
        Key key;
        if (!quoted_) {
            if (SameText(token_, OLESTR("NoRemove"))) key.flag = Flag::NoRemove;
            if (SameText(token_, OLESTR("ForceRemove"))) key.flag = Flag::ForceRemove;
            if (SameText(token_, OLESTR("Delete"))) key.flag = Flag::Delete;
            if (key.flag != Flag::None) NextRequired();
        }
        if (!quoted_ && (IsBrace(u'{') || IsBrace(u'}') || token_ == OLESTR("="))) throw ScriptError{};
        key.name = Expand(token_);
        if (key.name.empty()) throw ScriptError{};
        if (!Next()) throw ScriptError{};  // a key always sits inside a root block
        if (!quoted_ && token_ == OLESTR("=")) {
            Value value;
            ReadValue(value);
            key.values.push_back(std::move(value));
            if (!Next()) throw ScriptError{};
        }
        if (IsBrace(u'{')) {
            while (NextRequired(), !IsBrace(u'}')) {
                if (!quoted_ && SameText(token_, OLESTR("val"))) {
                    Value value;
                    NextRequired();
                    value.name = Expand(token_);
                    Expect(OLESTR("="));
                    ReadValue(value);
                    key.values.push_back(std::move(value));
                } else {
                    key.subKeys.push_back(KeyAtToken());
                }
            }
        } else {
            Unread();
        }
        return key;
    }

    // Reads "<type> '<data>'" after an "=".
    void ReadValue(Value& value) {
        NextRequired();
        if (quoted_) throw ScriptError{};
        const bool isString = SameText(token_, OLESTR("s"));
        const bool isNumber = SameText(token_, OLESTR("d"));
        if (!isString && !isNumber) throw ScriptError{};
        NextRequired();
        const WString data = Expand(token_);
        if (isString) {
            value.type = REG_SZ;
            value.text = data;
            return;
        }
        value.type = REG_DWORD;
        value.number = ParseNumber(data);
    }

    static DWORD ParseNumber(const WString& text) {
        if (text.empty()) throw ScriptError{};
        uint64_t number = 0;
        size_t i = 0;
        const bool hex = text.size() > 2 && text[0] == u'0' && Lower(text[1]) == u'x';
        if (hex) i = 2;
        for (; i < text.size(); ++i) {
            const OLECHAR c = Lower(text[i]);
            unsigned digit = 0;
            if (c >= u'0' && c <= u'9') {
                digit = static_cast<unsigned>(c - u'0');
            } else if (hex && c >= u'a' && c <= u'f') {
                digit = static_cast<unsigned>(c - u'a' + 10);
            } else {
                throw ScriptError{};
            }
            number = number * (hex ? 16 : 10) + digit;
            if (number > 0xFFFFFFFFull) throw ScriptError{};
        }
        return static_cast<DWORD>(number);
    }

    // Replaces "%NAME%" and "%%" in a token.
    WString Expand(const WString& token) const {
        WString out;
        for (size_t i = 0; i < token.size(); ++i) {
            if (token[i] != u'%') {
                out += token[i];
                continue;
            }
            const size_t end = token.find(u'%', i + 1);
            if (end == WString::npos) throw ScriptError{};
            if (end == i + 1) {
                out += u'%';
            } else {
                const auto found = replacements_.find(token.substr(i + 1, end - i - 1));
                if (found == replacements_.end()) throw ScriptError{};
                out += found->second;
            }
            i = end;
        }
        return out;
    }

    bool IsBrace(OLECHAR brace) const { return !quoted_ && token_.size() == 1 && token_[0] == brace; }

    void Expect(const OLECHAR* text) {
        NextRequired();
        if (quoted_ || token_ != text) throw ScriptError{};
    }

    void NextRequired() {
        if (!Next()) throw ScriptError{};
    }

    // Pushes the current token back; the next Next() answers it again.
    void Unread() { pending_ = true; }

    // Reads the next token into token_; false at the end of the text.
    bool Next() {
        if (pending_) {
            pending_ = false;
            return true;
        }
        while (text_[pos_] != 0 && IsSpace(text_[pos_])) ++pos_;
        if (text_[pos_] == 0) return false;
        token_.clear();
        quoted_ = text_[pos_] == u'\'';
        if (quoted_) {
            for (++pos_;; ++pos_) {
                if (text_[pos_] == 0) throw ScriptError{};
                if (text_[pos_] == u'\'') {
                    if (text_[pos_ + 1] != u'\'') break;
                    ++pos_;
                }
                token_ += text_[pos_];
            }
            ++pos_;
            return true;
        }
        if (text_[pos_] == u'=') {
            token_.assign(1, u'=');
            ++pos_;
            return true;
        }
        while (text_[pos_] != 0 && !IsSpace(text_[pos_]) && text_[pos_] != u'=' && text_[pos_] != u'\'') {
            token_ += text_[pos_++];
        }
        return true;
    }

    const OLECHAR* text_;
    const Replacements& replacements_;
    size_t pos_ = 0;
    WString token_;
    bool quoted_ = false;
    bool pending_ = false;
};

HRESULT RegistryScript::Parse(const OLECHAR* text, const Replacements& replacements,
                              std::vector<Root>& roots) noexcept {
    roots.clear();
    if (text == nullptr) return E_INVALIDARG;
    try {
        Reader reader(text, replacements);
        roots = reader.Script();
        return S_OK;
    } catch (const ScriptError&) {
        return DISP_E_EXCEPTION;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}
