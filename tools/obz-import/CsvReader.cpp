#include "CsvReader.h"

namespace {
constexpr char kQuote = '"';
constexpr char kCarriageReturn = '\r';
constexpr char kLineFeed = '\n';

// Line breaks inside a value, counted as the reader counts them between
// records: CR LF once, a lone CR or LF once each.
size_t LineBreaks(std::string_view value) {
    size_t breaks = 0;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == kLineFeed) {
            ++breaks;
        } else if (value[i] == kCarriageReturn && (i + 1 == value.size() || value[i + 1] != kLineFeed)) {
            ++breaks;
        }
    }
    return breaks;
}
}  // namespace

CsvReader::CsvReader(TextDecoder& decoder, char delimiter, bool quotes)
    : decoder_(decoder), delimiter_(delimiter), quotes_(quotes) {}

bool CsvReader::Available() {
    if (pos_ < block_.size()) return true;
    block_.clear();
    pos_ = 0;
    return decoder_.Read(block_);
}

void CsvReader::EndLine() {
    const char unit = block_[pos_++];
    ++line_;
    if (unit == kCarriageReturn && Available() && block_[pos_] == kLineFeed) ++pos_;
}

void CsvReader::Note(bool zero, bool invalid, Record& record) const {
    if (!record.problem.empty() || (!zero && !invalid)) return;
    const std::string value = "value " + std::to_string(record.ends.size() + 1);
    if (invalid) {
        record.problem = value + (decoder_.IsUtf16() ? " is not valid UTF-16" : " is not valid UTF-8");
    } else {
        record.problem = value + " holds a zero character";
    }
}

bool CsvReader::Next(Record& record) {
    record.text.clear();
    record.ends.clear();
    record.problem.clear();
    for (;;) {
        if (!Available()) return false;
        const char unit = block_[pos_];
        if (unit != kCarriageReturn && unit != kLineFeed) break;
        EndLine();
    }
    record.line = line_;
    for (;;) {
        if (quotes_ && block_[pos_] == kQuote) {
            ++pos_;
            ReadQuoted(record);
        } else {
            ReadPlain(record);
        }
        record.ends.push_back(record.text.size());
        if (!Available()) return true;
        if (block_[pos_] != delimiter_) {
            EndLine();
            return true;
        }
        ++pos_;
        // A delimiter at the very end of the text leaves one more, empty value.
        if (!Available()) {
            record.ends.push_back(record.text.size());
            return true;
        }
    }
}

void CsvReader::ReadPlain(Record& record) {
    bool zero = false;
    bool invalid = false;
    while (Available()) {
        const char* const begin = block_.data() + pos_;
        const char* const end = block_.data() + block_.size();
        const char* at = begin;
        for (; at < end; ++at) {
            const char unit = *at;
            if (unit == delimiter_ || unit == kCarriageReturn || unit == kLineFeed) break;
            zero |= unit == 0;
            invalid |= unit == TextDecoder::kInvalid;
        }
        record.text.append(begin, at);
        pos_ += static_cast<size_t>(at - begin);
        if (at < end) break;
    }
    Note(zero, invalid, record);
}

void CsvReader::ReadQuoted(Record& record) {
    const size_t start = record.text.size();
    bool zero = false;
    bool invalid = false;
    bool closed = false;
    while (!closed && Available()) {
        const char* const begin = block_.data() + pos_;
        const char* const end = block_.data() + block_.size();
        const char* at = begin;
        for (; at < end && *at != kQuote; ++at) {
            zero |= *at == 0;
            invalid |= *at == TextDecoder::kInvalid;
        }
        record.text.append(begin, at);
        pos_ += static_cast<size_t>(at - begin);
        if (at == end) continue;
        ++pos_;  // the quote
        if (Available() && block_[pos_] == kQuote) {
            record.text.push_back(kQuote);
            ++pos_;
        } else {
            closed = true;
        }
    }
    line_ += LineBreaks(std::string_view(record.text).substr(start));
    Note(zero, invalid, record);
    const std::string value = "value " + std::to_string(record.ends.size() + 1);
    if (!closed) {
        if (record.problem.empty()) record.problem = value + " opens a quote that the file never closes";
        return;
    }
    if (!Available()) return;
    const char next = block_[pos_];
    if (next != delimiter_ && next != kCarriageReturn && next != kLineFeed) {
        if (record.problem.empty()) record.problem = value + " has text after its closing quote";
        ReadPlain(record);
    }
}
