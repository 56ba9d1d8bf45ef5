// The movie list filter and the frame-size reader over the fake file system.
#include <gtest/gtest.h>

#include <stdexcept>

#include "engine/swf/swf_file.h"
#include "platform/platform.h"
#include "saver/MovieList.h"
#include "saver/Paths.h"
#include "saver/SwfFrameRect.h"
#include "tests/fake/fake_files.h"
#include "tests/movielist/swf_bytes.h"
#include "tools/swfkit/swfkit.h"

namespace {

namespace pf = lumarel::platform;
using lumarel::fake::FakeFileSystem;
using lumarel::saver::BuildMovieList;
using lumarel::saver::JoinPath;
using lumarel::saver::kPathSeparator;
using lumarel::saver::ListFolder;
using Names = std::vector<std::string>;

const std::string kFolder = std::string("M:") + kPathSeparator + "movies";
const std::string kPattern = kFolder + kPathSeparator + "*.*";

pf::FindData File(const std::string& name) { return {name, pf::attr::Archive}; }
pf::FindData Entry(const std::string& name, std::uint32_t attributes) { return {name, attributes}; }

class MovieListTest : public ::testing::Test {
protected:
    void SetUp() override { pf::Install(pf::Platform{nullptr, nullptr, &files, nullptr}); }
    void TearDown() override {
        EXPECT_EQ(files.OpenFindHandles(), 0) << "an enumeration was left open";
        EXPECT_EQ(files.OpenFiles(), 0) << "a file was left open";
        EXPECT_EQ(files.misuse, 0) << "an invalid handle was used";
        pf::Install(pf::Platform{});
    }
    FakeFileSystem files;
};

TEST_F(MovieListTest, KeepsExactlyTheSwfExtensionInAnyAsciiCase) {
    files.SetEntries(kPattern, {Entry(".", 16), Entry("..", 16), File("movie.swf"), File("movie.swf.bak"),
                                File("MOVIE.SWF"), File("movie.swfx"), File("Movie.Swf"), File("swf"), File(".swf"),
                                File("a.sw"), File("notes.txt"), File("x.SWF "), File("a.swf.SWF")});
    EXPECT_EQ(BuildMovieList(kFolder), (Names{"movie.swf", "MOVIE.SWF", "Movie.Swf", ".swf", "a.swf.SWF"}));
}

TEST_F(MovieListTest, SkipsOnlyEntriesWhoseAttributeWordIsTheBareDirectory) {
    files.SetEntries(kPattern, {Entry(".", 16), Entry("..", 16), Entry("clips.swf", 16 | 32), Entry("bare.swf", 16),
                                Entry("hidden.swf", 16 | 2), Entry("locked.swf", 16 | 1), Entry("plain.swf", 0),
                                Entry("ro.swf", 1)});
    EXPECT_EQ(BuildMovieList(kFolder), (Names{"clips.swf", "hidden.swf", "locked.swf", "plain.swf", "ro.swf"}));

    Names all;
    EXPECT_TRUE(ListFolder(all, kPattern, true));
    EXPECT_EQ(all, (Names{"clips.swf", "hidden.swf", "locked.swf", "plain.swf", "ro.swf"}))
        << "\".\" and \"..\" with the bare directory attribute never reach the list";
}

TEST_F(MovieListTest, KeepsTheEnumerationOrderNotTheNameOrder) {
    files.SetEntries(kPattern, {File("zeta.swf"), File("alpha.swf"), File("Mid.swf"), File("beta.swf"), File("10.swf"),
                                File("9.swf")});
    EXPECT_EQ(BuildMovieList(kFolder), (Names{"zeta.swf", "alpha.swf", "Mid.swf", "beta.swf", "10.swf", "9.swf"}));
}

TEST_F(MovieListTest, PatternIsTheFolderTextPlusOneSeparatorAndStarDotStar) {
    const std::string sep(1, kPathSeparator);
    const std::string root = "C:" + sep;  // a drive root chosen in the folder chooser
    files.SetEntries(root + sep + "*.*", {File("a.swf")});
    EXPECT_EQ(BuildMovieList(root), Names{"a.swf"});
    EXPECT_EQ(files.log.front(), "FindFirst C:" + sep + sep + "*.*");
    EXPECT_EQ(JoinPath(root, "a.swf"), "C:" + sep + sep + "a.swf") << "the movie path keeps both";

    files.log.clear();
    EXPECT_TRUE(BuildMovieList("").empty());
    EXPECT_EQ(files.log.front(), "FindFirst " + sep + "*.*") << "an empty folder setting";

    files.log.clear();
    BuildMovieList(" spaced folder ");
    EXPECT_EQ(files.log.front(), "FindFirst  spaced folder " + sep + "*.*")
        << "the folder text is used exactly as stored";
}

TEST_F(MovieListTest, MissingFolderGivesAnEmptyListAndNoCloseOfAnInvalidHandle) {
    Names list{"left over"};
    EXPECT_FALSE(ListFolder(list, "Q:\\nowhere\\*.*", true));
    EXPECT_TRUE(list.empty()) << "the list is cleared first";
    EXPECT_TRUE(BuildMovieList("Q:\\nowhere").empty());
    EXPECT_EQ(files.log,
              (Names{"FindFirst Q:\\nowhere\\*.*", std::string("FindFirst Q:\\nowhere") + kPathSeparator + "*.*"}));
}

TEST_F(MovieListTest, FolderOfOnlyNonMoviesOrOnlyDotEntriesGivesAnEmptyList) {
    files.SetEntries(kPattern, {Entry(".", 16), Entry("..", 16)});
    Names list{"old"};
    EXPECT_FALSE(ListFolder(list, kPattern, true));
    EXPECT_TRUE(list.empty());
    files.SetEntries(kPattern, {Entry(".", 16), Entry("..", 16), File("readme.txt")});
    EXPECT_TRUE(BuildMovieList(kFolder).empty());
}

TEST_F(MovieListTest, ProcessesPendingEventsOnceBeforeEachEntryAndClosesTheEnumeration) {
    files.SetEntries(kPattern, {Entry(".", 16), File("a.swf"), File("b.txt")});
    int calls = 0;
    const auto pending = [&] {
        ++calls;
        files.log.push_back("pending");
    };
    EXPECT_EQ(BuildMovieList(kFolder, pending), Names{"a.swf"});
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(files.log, (Names{"FindFirst " + kPattern, "pending", "FindNext", "pending", "FindNext", "pending",
                                "FindNext", "FindClose"}));

    calls = 0;
    files.log.clear();
    BuildMovieList("missing", pending);
    EXPECT_EQ(calls, 0) << "no entries, no pending-events pass";
}

TEST_F(MovieListTest, EnumerationIsClosedWhenAPendingEventHandlerThrows) {
    files.SetEntries(kPattern, {File("a.swf"), File("b.swf"), File("c.swf")});
    int calls = 0;
    Names list;
    EXPECT_THROW(ListFolder(list, kPattern, true,
                            [&] {
                                if (++calls == 2) throw std::runtime_error("handler failed");
                            }),
                 std::runtime_error);
    EXPECT_EQ(files.OpenFindHandles(), 0);
    EXPECT_EQ(files.log.back(), "FindClose");
}

TEST_F(MovieListTest, WithoutExtensionDropsThePartFromTheLastDot) {
    files.SetEntries(kPattern,
                     {File("movie.swf.bak"), File("noext"), File(".swf"), File("a.b.c"), Entry("dir.d", 16 | 32)});
    Names list;
    EXPECT_TRUE(ListFolder(list, kPattern, false));
    EXPECT_EQ(list, (Names{"movie.swf", "noext", "", "a.b", "dir"}));
}

TEST_F(MovieListTest, NameEndsAtItsFirstNulAndLongUtf8NamesStayWhole) {
    std::string longName;
    for (int i = 0; i < 200; ++i) longName += "\xe5\x8b\x95";  // 200 x "動": 600 bytes
    longName += ".swf";
    files.SetEntries(kPattern, {File(std::string("cut.swf\0tail.txt", 16)), File(longName)});
    EXPECT_EQ(BuildMovieList(kFolder), (Names{"cut.swf", longName}));
}

// ---------------------------------------------------------------------------------------
// Frame size

using lumarel::saver::FileOpenError;
using lumarel::saver::ReadSwfFrameRect;
using lumarel::saver::StreamReadError;
using lumarel::saver::SwfFrameHeight;
using lumarel::saver::SwfFrameWidth;
using lumarel::saver::SwfRectBytes;
using lumarel::testing::RectBytes;

SwfRectBytes Rect(int nbits, std::uint32_t xmin, std::uint32_t xmax, std::uint32_t ymin, std::uint32_t ymax) {
    const auto bytes = RectBytes(nbits, xmin, xmax, ymin, ymax);
    SwfRectBytes rect{};
    std::copy(bytes.begin(), bytes.begin() + 17, rect.begin());
    return rect;
}

TEST(SwfFrameSize, IsXmaxAndYmaxAloneInWholePixels) {
    const auto r = Rect(15, 0, 11000, 0, 8000);
    EXPECT_EQ(SwfFrameWidth(r), 550);
    EXPECT_EQ(SwfFrameHeight(r), 400);
    EXPECT_EQ(SwfFrameWidth(Rect(15, 20, 11020, 40, 8040)), 551) << "not Xmax - Xmin";
    EXPECT_EQ(SwfFrameHeight(Rect(15, 20, 11020, 40, 8040)), 402);
    EXPECT_EQ(SwfFrameWidth(Rect(14, 0, 39, 0, 19)), 1) << "division truncates";
    EXPECT_EQ(SwfFrameHeight(Rect(14, 0, 39, 0, 19)), 0);
}

TEST(SwfFrameSize, WidestFieldsAreUnsignedAndUseTheLastRectangleBits) {
    const auto r = Rect(31, 0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF);
    EXPECT_EQ(SwfFrameWidth(r), 107374182);
    EXPECT_EQ(SwfFrameHeight(r), 107374182) << "Ymax ends at bit 128 of 136";
    // Fields with the top bit set would be negative if read as signed SWF fields.
    const auto s = Rect(16, 0, 0xFFFF, 0, 0x8000);
    EXPECT_EQ(SwfFrameWidth(s), 0xFFFF / 20);
    EXPECT_EQ(SwfFrameHeight(s), 0x8000 / 20);
}

TEST(SwfFrameSize, ZeroFieldWidthGivesZeroAndEveryByteStringGivesSizes) {
    SwfRectBytes zero{};
    zero[0] = 0x07;  // Nbits 0, low bits ignored
    for (std::size_t i = 1; i < zero.size(); ++i) zero[i] = 0xFF;
    EXPECT_EQ(SwfFrameWidth(zero), 0);
    EXPECT_EQ(SwfFrameHeight(zero), 0);
    SwfRectBytes ones;
    ones.fill(0xFF);
    EXPECT_EQ(SwfFrameWidth(ones), 107374182);
    EXPECT_EQ(SwfFrameHeight(ones), 107374182);
}

class FrameRectFakeTest : public MovieListTest {};

TEST_F(FrameRectFakeTest, ReadsSeventeenBytesFromOffsetEightAndCloses) {
    std::vector<std::uint8_t> bytes(25);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i);
    files.AddFile("m.swf", bytes);
    const SwfRectBytes rect = ReadSwfFrameRect("m.swf");
    for (std::size_t i = 0; i < rect.size(); ++i) EXPECT_EQ(rect[i], i + 8);
    EXPECT_EQ(files.log, (Names{"Open m.swf", "Close"}));
}

TEST_F(FrameRectFakeTest, ShortFileRaisesTheReadErrorAfterClosing) {
    files.AddFile("short.swf", std::vector<std::uint8_t>(24, 0x78));
    try {
        ReadSwfFrameRect("short.swf");
        FAIL() << "no error";
    } catch (const StreamReadError& e) {
        EXPECT_STREQ(e.what(), "ストリームからの読み込みエラー");
    }
    EXPECT_EQ(files.log, (Names{"Open short.swf", "Close"}));
    files.AddFile("tiny.swf", std::string("FWS"));
    EXPECT_THROW(ReadSwfFrameRect("tiny.swf"), StreamReadError) << "shorter than the offset";
}

TEST_F(FrameRectFakeTest, CompressedMoviesGiveTheRectangleOfTheirDecompressedStream) {
    namespace kit = lumarel::swfkit;
    kit::Movie movie(kit::Rect::Pixels(0, 0, 400, 300), 12.0);
    movie.ShowFrame().ShowFrame().ShowFrame();  // 17 bytes and more once inflated
    std::vector<kit::Compression> kinds = {kit::Compression::Zlib};
    if (lumarel::engine::swf::LzmaSupported() && kit::LzmaAvailable()) kinds.push_back(kit::Compression::Lzma);
    for (kit::Compression c : kinds) {
        const kit::Bytes bytes = movie.Build(c);
        files.AddFile("z.swf", bytes);
        const SwfRectBytes rect = ReadSwfFrameRect("z.swf");
        EXPECT_EQ(SwfFrameWidth(rect), 400);
        EXPECT_EQ(SwfFrameHeight(rect), 300);
        // Cut inside the stream or corrupt: the read error, with the file closed.
        files.AddFile("cut.swf", kit::Bytes(bytes.begin(), bytes.begin() + (c == kit::Compression::Zlib ? 11 : 18)));
        EXPECT_THROW(ReadSwfFrameRect("cut.swf"), StreamReadError);
        kit::Bytes corrupt = bytes;
        corrupt[8] = 0xFF;
        files.AddFile("bad.swf", corrupt);
        if (c == kit::Compression::Zlib) {
            EXPECT_THROW(ReadSwfFrameRect("bad.swf"), StreamReadError);
        }
    }
}

TEST_F(FrameRectFakeTest, UnopenableFileRaisesTheOpenErrorNamingThePath) {
    files.AddFile("C:\\held by 100%s.swf", std::vector<std::uint8_t>(40));
    files.FailOpen("C:\\held by 100%s.swf");
    try {
        ReadSwfFrameRect("C:\\held by 100%s.swf");
        FAIL() << "no error";
    } catch (const FileOpenError& e) {
        EXPECT_STREQ(e.what(), "ファイル C:\\held by 100%s.swf は開けません");
    }
    EXPECT_EQ(files.log, (Names{"Open C:\\held by 100%s.swf"})) << "nothing to close";
    EXPECT_THROW(ReadSwfFrameRect("missing.swf"), lumarel::saver::FileError);
    EXPECT_THROW(ReadSwfFrameRect("missing.swf"), std::runtime_error);
}

}  // namespace
