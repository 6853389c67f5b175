#include "textfile/CTemplateSmartPtrArray.h"

#include <gtest/gtest.h>

#include "com/Platform.h"

// Leaks and wrong releases show in the sanitizer build.
TEST(CTemplateSmartPtrArrayTest, GrowsOnlyWhenNeededAndKeepsTheContents) {
    OLECHAR fixed[4] = {u'x', u'y', u'z', 0};
    CTemplateSmartPtrArray<OLECHAR> holder(fixed);
    holder.Grow(4, 4);
    EXPECT_EQ(holder.Get(), fixed);
    EXPECT_FALSE(holder.IsOwned());
    holder.Grow(6, 3);
    holder.Grow(9, 6);
    EXPECT_TRUE(holder.IsOwned());
    EXPECT_EQ(WString(holder.Get(), 9), WString(OLESTR("xyz\0\0\0\0\0\0"), 9));
    EXPECT_EQ(WString(fixed), OLESTR("xyz"));
}
