#include "platform/msgbox.h"
#include "show/dynaarray.h"
#include "show/slide.h"
#include "tests/testutil.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>

using namespace show;

namespace {

struct Item {
    int32_t value;
    int32_t pad[3];
};

void fill(TDynaArray& list, int n)
{
    for (int i = 0; i < n; ++i)
        static_cast<Item*>(list.Add())->value = i;
}

std::vector<int32_t> values(const TDynaArray& list)
{
    std::vector<int32_t> v;
    for (uint32_t i = 0; i < list.Count(); ++i)
        v.push_back(ElementAt<Item>(list, i)->value);
    return v;
}

struct LimitGuard {
    explicit LimitGuard(size_t bytes) { setDynaArrayLimitForTest(bytes); }
    ~LimitGuard() { setDynaArrayLimitForTest(std::numeric_limits<size_t>::max()); }
};

} // namespace

TEST(DynaArray, StorageGrowsAndShrinksInStepsOfGrowBy)
{
    void* cursor = nullptr;
    TDynaArray list(sizeof(Item), &cursor);
    EXPECT_EQ(list.Index(), -1);
    fill(list, 250);
    EXPECT_EQ(list.Count(), 250u);
    EXPECT_EQ(list.Capacity(), 300 * sizeof(Item));
    EXPECT_EQ(cursor, list.At(249));
    EXPECT_EQ(list.Index(), 249);

    // The block moves only when a step boundary is crossed.
    const void* block = list.At(0);
    fill(list, 50); // 300 elements: still the same block
    EXPECT_EQ(list.At(0), block);
    list.Add();     // the 301st takes a new one
    EXPECT_NE(list.At(0), block);
    EXPECT_EQ(list.Capacity(), 400 * sizeof(Item));

    list.Delete(300);
    EXPECT_EQ(list.Capacity(), 300 * sizeof(Item));
    for (int i = 0; i < 100; ++i)
        list.Delete(0);
    EXPECT_EQ(list.Capacity(), 200 * sizeof(Item));
    EXPECT_EQ(ElementAt<Item>(list, 0)->value, 100);
    EXPECT_EQ(cursor, nullptr);
    EXPECT_EQ(list.Index(), -1);
}

TEST(DynaArray, DeletingMovesLaterElementsDownAndLeavesNoCurrent)
{
    void* cursor = nullptr;
    TDynaArray list(sizeof(Item), &cursor);
    list.SetGrowBy(1);
    fill(list, 4);
    list.Delete(3);
    EXPECT_EQ(values(list), (std::vector<int32_t>{0, 1, 2}));
    list.Delete(0);
    EXPECT_EQ(values(list), (std::vector<int32_t>{1, 2}));
    EXPECT_EQ(cursor, nullptr);
    list.Delete(2);  // out of range
    list.Delete(-1);
    EXPECT_EQ(values(list), (std::vector<int32_t>{1, 2}));

    list.Exchange(0, 1);
    EXPECT_EQ(values(list), (std::vector<int32_t>{2, 1}));
    list.Exchange(0, 2); // index == Count
    EXPECT_EQ(values(list), (std::vector<int32_t>{2, 1}));

    // Emptied by deleting, the next Add takes a fresh zeroed block.
    list.Delete(0);
    std::memset(list.At(0), 0xAB, sizeof(Item));
    list.Delete(0);
    EXPECT_EQ(list.Capacity(), 0u);
    const auto* item = static_cast<Item*>(list.Add());
    const Item zero{};
    EXPECT_EQ(std::memcmp(item, &zero, sizeof zero), 0);
}

TEST(DynaArray, FirstAndNextWalkTheList)
{
    void* cursor = nullptr;
    TDynaArray list(sizeof(Item), &cursor);
    list.First(); // empty: nothing changes
    EXPECT_EQ(list.Index(), -1);
    EXPECT_FALSE(list.Next());

    fill(list, 3);
    std::vector<int32_t> seen;
    list.First();
    while (list.Next()) {
        seen.push_back(static_cast<Item*>(list.Current())->value);
        EXPECT_EQ(cursor, list.Current());
        EXPECT_EQ(list.At(uint32_t(list.Index() - 1)), list.Current());
    }
    EXPECT_EQ(seen, (std::vector<int32_t>{0, 1, 2}));

    // Select moves the walk.
    list.First();
    list.Next();
    list.Select(2);
    EXPECT_TRUE(list.Next());
    EXPECT_EQ(static_cast<Item*>(list.Current())->value, 2);
    EXPECT_FALSE(list.Next());

    list.Clear();
    EXPECT_EQ(list.Count(), 0u);
    EXPECT_EQ(list.Capacity(), 0u);
    EXPECT_EQ(cursor, nullptr);
}

TEST(DynaArray, AFailedAllocationShowsItsMessageAndChangesNothing)
{
    struct Case {
        int before;       // elements added first
        int action;       // 0 Add, 1 Delete(0)
        const char* text;
    };
    const Case cases[] = {
        {0, 0, "Error 1 while trying to allocate 1600 bytes of RAM. Not enough memory."},
        {100, 0, "Error 2 while trying to allocate 3200 bytes of RAM. Not enough memory."},
        {101, 1, "Error 3 while trying to allocate 1600 bytes of RAM. Not enough memory."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        void* cursor = nullptr;
        TDynaArray list(sizeof(Item), &cursor);
        fill(list, c.before);
        const std::vector<int32_t> was = values(list);
        const uint32_t capacity = list.Capacity();

        platform::MessageBoxScript script;
        {
            LimitGuard limit(1000);
            if (c.action == 0)
                EXPECT_EQ(list.Add(), nullptr);
            else
                list.Delete(0);
        }
        ASSERT_EQ(script.shown().size(), 1u);
        EXPECT_EQ(script.shown()[0].text, QString::fromLatin1(c.text));
        EXPECT_EQ(script.shown()[0].icon, platform::MsgIcon::Error);
        EXPECT_EQ(values(list), was);
        EXPECT_EQ(list.Capacity(), capacity);
    }
}

TEST(DynaArray, RemovingASlideReleasesWhatItOwns)
{
    ShowDocument show;
    for (int i = 0; i < 3; ++i) {
        TSlideRecord* slide = AddNewSlide(show, testutil::patternImage(8, 8, 24, uint32_t(i)),
                                          QStringLiteral("/bilder/%1.jpg").arg(i));
        ASSERT_TRUE(slide);
        SetString(slide->Comment, QStringLiteral("Kommentar"));
        slide->Nodes->Add();
    }
    RemoveSlide(show, 1);
    ASSERT_EQ(show.Slides.Count(), 2u);
    EXPECT_EQ(StringText(show.slide(1)->FileName), "/bilder/2.jpg");
    EXPECT_EQ(show.CurrentSlide, nullptr);
    // The rest goes with the document; the leak check after the test proves
    // every picture was released.
}
