// The player keeps movies' shared objects per user under the settings key, and nowhere else.
#include <gtest/gtest.h>

#include <tuple>

#include "player/ShockwaveFlashObjects_TLB.h"
#include "player/shared_objects.h"
#include "tests/fake/fake_files.h"
#include "tests/fake/fake_platform.h"
#include "tests/fake/fake_registry.h"
#include "tools/swfkit/swfkit.h"

using namespace lumarel;
using namespace lumarel::platform;
using lumarel::fake::FakeRegistry;
using Bytes = std::vector<std::uint8_t>;

namespace {

const std::string kKey = "Software\\velbrook\\Lumarel\\SharedObjects";

class SharedObjectsTest : public ::testing::Test {
protected:
    void SetUp() override {
        fp.files = &files;
        fp.registry = &registry;
        fp.Install();
    }
    fake::FakePlatform fp;
    fake::FakeFileSystem files;
    FakeRegistry registry;
};

// A movie that counts its runs in SharedObject "c" (data.runs), stored as it ends.
TEST_F(SharedObjectsTest, AMoviesDataLastsFromShowToShow) {
    swfkit::Movie movie({0, 11000, 0, 8000}, 12, 8);
    movie.DoAction(swfkit::Actions().Asm(
        "push \"c\", 1, \"SharedObject\"; getvariable; push \"getLocal\"; callmethod; push \"data\"; getmember; "
        "store r1; pop; push r1, \"runs\", r1, \"runs\"; getmember; push 0; bitor; push 1; add2; setmember"));
    movie.ShowFrame();
    files.AddFile("/m/count.swf", movie.Build());
    Form form{"Form1"};
    TShockwaveFlash player{&form, "ShockwaveFlash1"};
    for (int run = 0; run < 2; ++run) player.SetMovie("/m/count.swf");
    player.SetMovie("/m/missing.swf");  // the movie in play ends
    // One binary record: { runs: 2 }.
    const Bytes want = {3, 0, 4, 'r', 'u', 'n', 's', 0, 0x40, 0, 0, 0, 0, 0, 0, 0, 0, 0, 9};
    EXPECT_EQ(registry.ValueAt(kKey, "count.swf/c"), (FakeRegistry::Value{reg::Binary, want}));
    EXPECT_EQ(registry.SubKeys("Software\\velbrook\\Lumarel"), std::vector<std::string>{"SharedObjects"});
}

// Records over the size limit, names that cannot be values and values that are no record of
// ours are refused; no bytes remove a record.
TEST_F(SharedObjectsTest, RecordsAreBoundedInSizeAndName) {
    const player::SharedObjectStore store("Software\\velbrook\\Lumarel");
    const std::tuple<std::string, std::size_t, bool> cases[] = {{"a.swf/s", player::kMaxSharedRecordBytes, true},
                                                                {"a.swf/big", player::kMaxSharedRecordBytes + 1, false},
                                                                {std::string(255, 'n'), 1, true},
                                                                {std::string(256, 'n'), 1, false},
                                                                {"a.swf/\x01", 1, false},
                                                                {"a\\b", 1, false},
                                                                {"a.swf/s", 0, true}};
    for (const auto& [name, size, stored] : cases) {
        Bytes back, bytes(size, 7);
        EXPECT_EQ(store.Save(name, bytes), stored) << name;
        const bool loaded = store.Load(name, back);
        EXPECT_EQ(loaded ? back : Bytes(), stored ? bytes : Bytes()) << name;
    }
    registry.SetTextAt(kKey, "a.swf/t", reg::Sz, "x");
    Bytes back;
    EXPECT_FALSE(store.Load("a.swf/t", back));
    registry.Fail(FakeRegistry::Op::SetValue, "", reg::AccessDenied);
    EXPECT_FALSE(store.Save("a.swf/s", Bytes{1}));
    EXPECT_EQ(registry.OpenHandles(), 0u);
}

}  // namespace
