#include "platform/random.h"
#include "show/slide.h"
#include "tests/testutil.h"

#include <gtest/gtest.h>

using namespace show;

TEST(Slide, ANewSlideHasTheValuesOfAnAddedPicture)
{
    ShowDocument show;
    TSlideRecord* slide = AddNewSlide(show, testutil::patternImage(4, 3, 24), QStringLiteral("/a/b.jpg"));
    ASSERT_TRUE(slide);
    EXPECT_EQ(show.CurrentSlide, slide);
    EXPECT_EQ(StringText(slide->FileName), "/a/b.jpg");
    EXPECT_EQ(slide->Effect, 0);
    EXPECT_EQ(slide->Placement, 0);
    EXPECT_EQ(slide->TextPosition, 1);
    EXPECT_EQ(slide->TransTime, 1000);
    EXPECT_EQ(slide->PauseTime, 3000);
    EXPECT_EQ(slide->Frame.Left, 0);
    EXPECT_EQ(slide->Frame.Top, 0);
    EXPECT_EQ(slide->Frame.Right, 1000);
    EXPECT_EQ(slide->Frame.Bottom, 1000);
    EXPECT_EQ(slide->UserSize, 100);
    EXPECT_EQ(slide->SoundMode, 1);
    EXPECT_EQ(slide->CommentVisible + slide->PictureVisible + slide->KeepAspect + slide->TextBorder, 4);
    EXPECT_EQ(slide->CollageMember, 0);
    EXPECT_EQ(slide->BackColor, 0u);
    EXPECT_EQ(slide->BorderColor, 0u);
    EXPECT_EQ(slide->Comment, nullptr);
    EXPECT_EQ(slide->SoundFile, nullptr);
    EXPECT_EQ(slide->Nodes->Count(), 0u);

    const TSlideFont& font = *slide->Font;
    EXPECT_EQ(font.Name, "Arial");
    EXPECT_EQ(font.Style, TSlideFont::Bold);
    EXPECT_EQ(font.Color, 0xFFFFFFu);
    EXPECT_EQ(font.Charset, 0);
    EXPECT_EQ(font.PixelHeight(), 15);
    EXPECT_EQ(font.toQFont().pixelSize(), 15);
    EXPECT_TRUE(font.toQFont().bold());
}

TEST(Slide, CollageGroupsEndBeforeVideoSlides)
{
    // name, CollageMember; expected group [first, end) of every slide.
    struct Entry {
        const char* name;
        uint8_t member;
        int first, end;
    };
    const Entry entries[] = {
        {"a.jpg", 1, 0, 3}, // a first slide that is a member starts a group
        {"b.jpg", 1, 0, 3},
        {"c.jpg", 1, 0, 3},
        {"d.jpg", 0, 3, 4},
        {"film.mpeg", 1, 4, 7}, // a video slide never joins, but heads a group
        {"e.jpg", 1, 4, 7},     // the walk back ends on the video slide
        {"f.JPG", 1, 4, 7},
        {"clip.AVI", 0, 7, 8},
    };
    ShowDocument show;
    for (const Entry& e : entries) {
        TSlideRecord* slide = AddBlankSlide(show);
        slide->FileName = NewString(QString::fromLatin1(e.name));
        slide->CollageMember = e.member;
    }
    for (int i = 0; i < int(std::size(entries)); ++i) {
        SCOPED_TRACE(entries[i].name);
        const SlideGroup g = CollageGroup(show.Slides, i);
        EXPECT_EQ(g.First, entries[i].first);
        EXPECT_EQ(g.End, entries[i].end);
    }
    EXPECT_TRUE(IsVideoSlide(*show.slide(4)));
    EXPECT_TRUE(IsVideoSlide(*show.slide(7)));
    EXPECT_FALSE(IsVideoSlide(*show.slide(6)));
}

TEST(Slide, TheEffectInUseIsTheSlidesOrARandomOne)
{
    ShowDocument show;
    TSlideRecord* slide = AddBlankSlide(show);
    slide->Effect = 17;
    ChooseEffect(*slide);
    EXPECT_EQ(slide->EffectInUse, 17);

    slide->Effect = 0;
    platform::RandSeed = 12345;
    ChooseEffect(*slide);
    platform::RandSeed = 12345;
    EXPECT_EQ(slide->EffectInUse, 1 + platform::Random(36));
    std::vector<int> seen(37, 0);
    for (int i = 0; i < 2000; ++i) {
        ChooseEffect(*slide);
        ASSERT_GE(slide->EffectInUse, 1);
        ASSERT_LE(slide->EffectInUse, 36);
        ++seen[size_t(slide->EffectInUse)];
    }
    EXPECT_EQ(std::count(seen.begin() + 1, seen.end(), 0), 0);
}

TEST(Slide, KeptPictureBytesServeOnlyTheUnchangedPicture)
{
    ShowDocument show;
    TSlideRecord* slide = AddNewSlide(show, testutil::patternImage(4, 4, 24), QStringLiteral("x.jpg"));
    KeepPictureBytes(*slide, 0, {1, 2, 3});
    ASSERT_NE(UnchangedPictureBytes(*slide), nullptr);
    EXPECT_EQ(UnchangedPictureBytes(*slide)->Bytes, (std::vector<uint8_t>{1, 2, 3}));

    SetSlidePicture(*slide, testutil::patternImage(4, 4, 24, 2));
    EXPECT_EQ(UnchangedPictureBytes(*slide), nullptr);

    KeepPictureBytes(*slide, 0, {4});
    PictureChanged(*slide);
    EXPECT_EQ(UnchangedPictureBytes(*slide), nullptr);
}
