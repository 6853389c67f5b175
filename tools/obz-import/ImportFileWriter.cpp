#include "ImportFileWriter.h"

namespace {
constexpr size_t kFlushBytes = 256 * 1024;
constexpr char kQuote = '\'';

// The characters that cannot stand in a literal as they are.
bool IsSpecial(char c) {
    return c == kQuote || c == '\n' || c == ImportFileWriter::kColumnSplit || c == ImportFileWriter::kRowSplit;
}
}  // namespace

ImportFileWriter::ImportFileWriter(std::FILE* out) : out_(out) {
    buffer_.reserve(kFlushBytes + 1024);
    buffer_ = "\xEF\xBB\xBF";
}

bool ImportFileWriter::Write(const CsvReader::Record& record, size_t& refused) {
    const size_t start = buffer_.size();
    for (size_t i = 0; i < record.Count(); ++i) {
        if (i > 0) buffer_.push_back(kColumnSplit);
        if (!AppendValue(record.Value(i))) {
            buffer_.resize(start);
            refused = i;
            return false;
        }
    }
    buffer_.push_back(kRowSplit);
    buffer_.push_back('\n');
    if (buffer_.size() >= kFlushBytes) Flush();
    return true;
}

bool ImportFileWriter::AppendValue(std::string_view value) {
    buffer_.push_back(kQuote);
    // Most values hold nothing special: one pass that the compiler
    // vectorises settles them.
    bool special = false;
    for (const char c : value) special |= IsSpecial(c);
    if (!special) {
        buffer_.append(value);
        buffer_.push_back(kQuote);
        return true;
    }
    size_t joined = 0;
    size_t from = 0;
    for (size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (!IsSpecial(c)) continue;
        buffer_.append(value.substr(from, i - from));
        if (c == kQuote) {
            buffer_.append(2, kQuote);
        } else {
            if (++joined > kMostJoined) return false;
            buffer_ += "'||char(" + std::to_string(static_cast<int>(c)) + ")||'";
        }
        from = i + 1;
    }
    buffer_.append(value.substr(from));
    buffer_.push_back(kQuote);
    return true;
}

void ImportFileWriter::Flush() {
    if (!failed_ && !buffer_.empty() && std::fwrite(buffer_.data(), 1, buffer_.size(), out_) != buffer_.size())
        failed_ = true;
    buffer_.clear();
}

bool ImportFileWriter::Finish() {
    Flush();
    if (std::fflush(out_) != 0) failed_ = true;
    return !failed_;
}
