#include "engine/file_worker.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine_test_support.h"

namespace quorvane::engine {
namespace {

using quorvane::testing::ScratchFolder;
using quorvane::testing::sha256Of;

// The hash of a checked file follows the bytes written in order: what it is handed it takes as
// it is, the rest it reads back from the file. Here the file's copy of each handed-over stretch
// differs from the memory, so the digest tells which of the two the hash took.
TEST(FileWorker, HashesWhatArrivesInOrderFromMemoryAndReadsBackTheRest) {
    ScratchFolder folder;
    FileProblem whyNot;
    bool locked = false;
    auto file = PartFile::open(folder / ".file.part", whyNot, locked);
    ASSERT_TRUE(file) << whyNot.text;
    const std::string onDiskFirst(300000, 'f'), onDiskSecond(300000, 's');
    const std::string ahead(500000, 'a');
    ASSERT_FALSE(file->writeAt(0, onDiskFirst));
    ASSERT_FALSE(file->writeAt(300000, onDiskSecond));
    ASSERT_FALSE(file->writeAt(600000, ahead));

    FileWorker worker(*file, resumeFilesFor(folder / "file"), true);
    std::vector<char> first(300000, 'F');
    const std::size_t capacity = first.capacity();
    worker.hashFromMemory(0, first);
    EXPECT_TRUE(first.empty());
    EXPECT_GE(first.capacity(), capacity) << "the buffer handed back must hold a whole batch";
    worker.hashUpTo(300000);
    // [600000, 1100000) arrived ahead of the front; [300000, 600000) then closes the gap.
    std::vector<char> second(300000, 'S');
    worker.hashFromMemory(300000, second);
    worker.hashUpTo(1100000);

    EXPECT_EQ(worker.finishHash(1100000),
              sha256Of(std::string(300000, 'F') + std::string(300000, 'S') + ahead));
}

// At most 16 MiB wait in memory for the hash; beyond that what it needs last is let go, and read
// back from the file when the hash gets there.
TEST(FileWorker, KeepsInMemoryWhatTheHashNeedsSoonest) {
    constexpr std::size_t kBlock = 4 << 20;
    ScratchFolder folder;
    FileProblem whyNot;
    bool locked = false;
    auto file = PartFile::open(folder / ".file.part", whyNot, locked);
    ASSERT_TRUE(file) << whyNot.text;
    std::string onDisk;
    for (char c : std::string("abcdefg")) onDisk += std::string(kBlock, c);
    ASSERT_FALSE(file->writeAt(0, onDisk));

    FileWorker worker(*file, resumeFilesFor(folder / "file"), true);
    auto handOver = [&](int index) {
        std::vector<char> bytes(kBlock, static_cast<char>('A' + index));
        worker.hashFromMemory(static_cast<std::int64_t>(index * kBlock), bytes);
        return bytes.empty();
    };
    for (int index : {2, 3, 4, 5}) EXPECT_TRUE(handOver(index));
    EXPECT_TRUE(handOver(1)) << "needed sooner than block 5, which gives way";
    EXPECT_FALSE(handOver(6)) << "needed later than everything held";

    std::string expected = onDisk;
    for (int index : {1, 2, 3, 4}) expected.replace(index * kBlock, kBlock, kBlock, 'A' + index);
    EXPECT_EQ(worker.finishHash(static_cast<std::int64_t>(onDisk.size())), sha256Of(expected));
}

}  // namespace
}  // namespace quorvane::engine
