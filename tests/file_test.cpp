// Files are replaced whole: a save that fails (a full disk) leaves the old
// file as it was, says why with the system's errno, and leaves nothing
// behind; two saves at once never share a temporary file.
#include "base/file.h"

#include "cli/animal_file.h"
#include "cli/run_file.h"
#include "test_support.h"
#include "world/checkpoint.h"
#include "world/world.h"
#include "world/world_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <thread>

namespace {

// Writes larger than this fail with EFBIG for the life of the object, as a
// full disk fails them, whoever runs the tests (root included).
class file_size_limit {
public:
    explicit file_size_limit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &saved_);
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~file_size_limit()
    {
        setrlimit(RLIMIT_FSIZE, &saved_);
        signal(SIGXFSZ, SIG_DFL);
    }
    file_size_limit(const file_size_limit&) = delete;
    file_size_limit& operator=(const file_size_limit&) = delete;

private:
    rlimit saved_{};
};

std::size_t files_in(const std::string& folder)
{
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++count;
    return count;
}

}  // namespace

TEST(File, AFailedSaveOfEachKindKeepsTheOldFileAndSaysWhy)
{
    scratch_folder folder;
    console_capture quiet;
    world_type world;
    quiet_world(world, 3, 40);
    run_file_type run;
    run.seed = 3;
    for (int i = 0; i < 40; ++i) {
        ASSERT_EQ(world_change_setting(world, setting_mutate_amount, 1.0 + i), "");
        world_update(world);
    }
    run.events = world.run.events;
    const std::string big(5000, 'x');
    const struct {
        const char* kind;
        std::function<refusal_type(const std::string&)> save;
    } writers[] = {
        {"world file", [&](const std::string& path) { return world_save_file(world, path); }},
        {"checkpoint", [&](const std::string& path) { return checkpoint_save(world, path); }},
        {"run file", [&](const std::string& path) { return run_file_write(path, run); }},
        {"animal file", [&](const std::string& path) { return animal_file_write(path, animal_file_of(world, world.animals)); }},
        {"summary", [&](const std::string& path) { return file_replace(path, big); }},
    };
    for (const auto& writer : writers) {
        std::filesystem::create_directory(writer.kind);
        const std::string path = std::string(writer.kind) + "/kept";
        write_file(path, "old");
        refusal_type refused;
        {
            const file_size_limit full(1000);
            refused = writer.save(path);
        }
        EXPECT_NE(refused, "") << writer.kind;
        EXPECT_EQ(refused.kind, refusal_kind_type::io) << writer.kind << ": " << refused;
        EXPECT_EQ(refused.error, EFBIG) << writer.kind << ": " << refused;
        EXPECT_EQ(read_file(path), "old") << writer.kind;
        EXPECT_EQ(files_in(writer.kind), 1u) << writer.kind << ": a temporary file left behind";
        EXPECT_EQ(writer.save(path), "") << writer.kind;
        EXPECT_NE(read_file(path), "old") << writer.kind;
    }
}

// Two saves to one path at once: each writes its own temporary file, and the
// file is one of the two, whole.
TEST(File, TwoSavesAtOnceLeaveOneWholeFile)
{
    scratch_folder folder;
    const std::string a(200000, 'a'), b(300000, 'b');
    for (int round = 0; round < 20; ++round) {
        refusal_type first, second;
        std::thread one([&] { first = file_replace("shared", a); });
        std::thread two([&] { second = file_replace("shared", b); });
        one.join();
        two.join();
        EXPECT_EQ(first, "");
        EXPECT_EQ(second, "");
        const std::string text = read_file("shared");
        EXPECT_TRUE(text == a || text == b) << "round " << round << ": " << text.size() << " bytes";
        EXPECT_EQ(files_in("."), 1u);
    }
}
