#include "tools/obz-import/TextDecoder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>

namespace {

TEST(TextDecoder, NamesTheEncodingFromTheMark) {
    const std::pair<std::string, TextDecoder::Encoding> cases[] = {
        {"ab", TextDecoder::Encoding::Utf8},
        {"\xEF\xBB\xBF" "a", TextDecoder::Encoding::Utf8WithMark},
        {"\xFF\xFE" "a", TextDecoder::Encoding::Utf16LittleEndian},
        {"\xFE\xFF", TextDecoder::Encoding::Utf16BigEndian},
    };
    for (const auto& [bytes, encoding] : cases) {
        std::FILE* in = fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "rb");
        TextDecoder decoder(in);
        std::string text;
        decoder.Read(text);
        EXPECT_EQ(decoder.GetEncoding(), encoding) << bytes;
        EXPECT_FALSE(decoder.ReadFailed());
        std::fclose(in);
    }
}

}  // namespace
