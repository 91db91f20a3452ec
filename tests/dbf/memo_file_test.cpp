#include "dbf/memo_file.h"

#include <gtest/gtest.h>

#include <cstring>

#include "dbf/dbf_format.h"

namespace tabrix {
namespace {

// A memo file over memory; the store stays reachable for byte checks.
struct MemoOverMemory {
  explicit MemoOverMemory(uint8_t version, std::vector<uint8_t> bytes = {},
                          MemoAccess access = MemoAccess::Write) {
    auto owned = std::make_unique<MemoryStore>(std::move(bytes));
    store = owned.get();
    memo = std::make_unique<MemoFile>(std::move(owned), version, access);
  }
  const std::vector<uint8_t>& bytes() const { return store->bytes(); }
  MemoryStore* store;
  std::unique_ptr<MemoFile> memo;
};

std::vector<uint8_t> foxProFile(uint16_t blockSize, uint32_t block, uint32_t storedLength, const std::string& text) {
  std::vector<uint8_t> bytes(std::max<size_t>(512, size_t{block} * blockSize + 8 + text.size()), 0);
  bytes[6] = static_cast<uint8_t>(blockSize >> 8);
  bytes[7] = static_cast<uint8_t>(blockSize);
  uint8_t* b = bytes.data() + size_t{block} * blockSize;
  writeBe32(b, 1);
  writeBe32(b + 4, storedLength);
  std::memcpy(b + 8, text.data(), text.size());
  return bytes;
}

TEST(MemoFileCreate, FreshHeadersForEachFormat) {
  MemoOverMemory fox(0x30);
  EXPECT_EQ(fox.bytes().size(), 512u);
  EXPECT_EQ(fox.memo->blockSize(), 64u);
  EXPECT_EQ(readBe32(fox.bytes().data()), 8u);
  EXPECT_EQ(fox.bytes()[7], 64);

  MemoOverMemory dbase4(0x8B);
  EXPECT_EQ(dbase4.memo->blockSize(), 512u);
  EXPECT_EQ(readLe32(dbase4.bytes().data()), 1u);
  EXPECT_EQ(readLe16(dbase4.bytes().data() + 20), 512u);

  MemoOverMemory other(0x03);
  EXPECT_EQ(other.bytes()[16], 3);
}

TEST(MemoFileWrite, FoxProMemoWithBlocksOf64) {
  MemoOverMemory m(0x30);
  const std::string text(100, 'x');
  EXPECT_EQ(m.memo->writeMemo(text), 8u);
  EXPECT_EQ(m.bytes().size(), 512u + 2 * 64);
  EXPECT_EQ(readBe32(m.bytes().data()), 10u);
  EXPECT_EQ(readBe32(m.bytes().data() + 512), 1u);
  EXPECT_EQ(readBe32(m.bytes().data() + 516), 100u);
  EXPECT_EQ(m.memo->memoLength(8), 100u);
  EXPECT_EQ(m.memo->readMemo(8), text);
  EXPECT_EQ(m.memo->writeMemo("second"), 10u);
  EXPECT_EQ(m.memo->readMemo(10), "second");
  EXPECT_EQ(m.memo->blockCount(), 11u);
}

TEST(MemoFileWrite, DBaseFourStoresTheLengthWithItsBlockHeader) {
  MemoOverMemory m(0x8B);
  const uint32_t block = m.memo->writeMemo("abc");
  EXPECT_EQ(block, 1u);
  const uint8_t* b = m.bytes().data() + 512;
  EXPECT_EQ(std::vector<uint8_t>(b, b + 4), (std::vector<uint8_t>{0xFF, 0xFF, 0x08, 0x00}));
  EXPECT_EQ(readLe32(b + 4), 11u);
  EXPECT_EQ(m.memo->memoLength(1), 11u);
  EXPECT_EQ(m.memo->readMemo(1), "abc");
  EXPECT_EQ(readLe32(m.bytes().data()), 2u);
}

TEST(MemoFileWrite, DBaseThreeSkipsABlockAndEndsWithTwoEndMarks) {
  MemoOverMemory m(0x83);
  EXPECT_EQ(m.memo->writeMemo("abc"), 2u);
  ASSERT_EQ(m.bytes().size(), 3u * 512);
  std::vector<uint8_t> expected(512, 0);
  std::memcpy(expected.data(), "abc\x1A\x1A", 5);
  EXPECT_EQ(std::vector<uint8_t>(m.bytes().begin() + 1024, m.bytes().end()), expected);
  EXPECT_EQ(m.memo->readMemo(2), "abc");
  EXPECT_EQ(m.memo->memoLength(2), 512u);
}

TEST(MemoFileWrite, SmtAndUnwritableStoresReturnBlockZero) {
  MemoOverMemory smt(0xE5);
  EXPECT_EQ(smt.memo->writeMemo("text"), 0u);
  MemoFile none(nullptr, 0x30, MemoAccess::Write);
  EXPECT_EQ(none.writeMemo("text"), 0u);
  EXPECT_EQ(none.readMemo(1), "");
}

TEST(MemoFileRead, BlockSizesFromTheHeader) {
  std::vector<uint8_t> dbase4(512, 0);
  writeLe16(dbase4.data() + 20, 1025);  // odd: one lower
  EXPECT_EQ(MemoOverMemory(0x8C, dbase4).memo->blockSize(), 1024u);
  writeLe16(dbase4.data() + 20, 0);
  EXPECT_EQ(MemoOverMemory(0x8B, dbase4).memo->blockSize(), 512u);
  EXPECT_EQ(MemoOverMemory(0xF5, foxProFile(128, 4, 2, "hi")).memo->blockSize(), 128u);
  std::vector<uint8_t> smt(512, 0);
  writeLe32(smt.data() + 4, 32);
  EXPECT_EQ(MemoOverMemory(0xE5, smt).memo->blockSize(), 32u);
  // dBase III always uses 512.
  EXPECT_EQ(MemoOverMemory(0x83, dbase4).memo->blockSize(), 512u);
}

TEST(MemoFileRead, SmtReadsTheLengthItsFieldGives) {
  std::vector<uint8_t> bytes(512 + 64, 0);
  writeLe32(bytes.data() + 4, 64);
  std::memcpy(bytes.data() + 512, "0123456789", 10);
  MemoOverMemory m(0xE5, bytes);
  EXPECT_EQ(m.memo->readMemo(8, 4), "0123");
  EXPECT_EQ(m.memo->readMemo(8, 100000), std::string(reinterpret_cast<const char*>(bytes.data() + 512), 64));
}

TEST(MemoFileRead, SmtLengthCountsWholeBlocksUpToTheEndMark) {
  std::vector<uint8_t> bytes(512 + 128, 0);
  writeLe32(bytes.data() + 4, 32);
  std::memset(bytes.data() + 512, 'a', 70);
  bytes[512 + 70] = 0x1A;
  MemoOverMemory m(0xE5, bytes);
  EXPECT_EQ(m.memo->memoLength(16), 96u);
  EXPECT_EQ(m.memo->readMemo(16, 70), std::string(70, 'a'));
}

TEST(MemoFileDamage, BlocksOutsideTheFileReadEmptyAndNotWhole) {
  MemoOverMemory m(0x30, foxProFile(64, 8, 5, "hello"));
  EXPECT_EQ(m.memo->readMemo(0), "");
  EXPECT_EQ(m.memo->memoLength(0), 0u);
  EXPECT_FALSE(m.memo->read(99).whole);
  EXPECT_EQ(m.memo->readMemo(99), "");
  EXPECT_EQ(m.memo->readMemo(0xFFFFFFFFu), "");
  EXPECT_TRUE(m.memo->read(8).whole);
  EXPECT_EQ(m.memo->readMemo(8), "hello");
}

TEST(MemoFileDamage, ReadAccessNeverWritesAHeader) {
  for (size_t size : {0, 100}) {
    MemoOverMemory m(0x30, std::vector<uint8_t>(size, 0), MemoAccess::Read);
    EXPECT_EQ(m.bytes().size(), size);
    EXPECT_FALSE(m.memo->headerIsSound());
    EXPECT_FALSE(m.memo->read(8).whole);
  }
}

TEST(MemoFileDamage, ClaimedLengthsAreCutToTheFile) {
  MemoOverMemory fox(0x30, foxProFile(64, 8, 0xFFFFFFF0u, "short"));
  EXPECT_EQ(fox.memo->readMemo(8).size(), fox.bytes().size() - 512 - 8);
  EXPECT_FALSE(fox.memo->read(8).whole);
  EXPECT_LE(fox.memo->memoLength(8), fox.bytes().size());

  std::vector<uint8_t> dbase4(600, 0);
  std::memcpy(dbase4.data() + 512, "\xFF\xFF\x08\x00", 4);
  writeLe32(dbase4.data() + 516, 0x7FFFFFFF);
  MemoOverMemory d(0x8B, dbase4);
  EXPECT_EQ(d.memo->readMemo(1).size(), 600u - 512 - 8);

  // A stored length below the block header's own 8 bytes.
  writeLe32(dbase4.data() + 516, 3);
  EXPECT_EQ(MemoOverMemory(0x8B, dbase4).memo->readMemo(1), "");
}

TEST(MemoFileDamage, DBaseFourBlockWithoutItsMarkReadsEmpty) {
  std::vector<uint8_t> bytes(1024, 'z');
  writeLe16(bytes.data() + 20, 512);
  MemoOverMemory m(0x8B, bytes);
  EXPECT_EQ(m.memo->memoLength(1), 0u);
  EXPECT_EQ(m.memo->readMemo(1), "");
}

TEST(MemoFileDamage, DBaseThreeTextWithoutEndMarkStopsAtTheEndOfTheFile) {
  std::vector<uint8_t> bytes(512 + 700, 'q');
  std::memset(bytes.data(), 0, 512);
  MemoOverMemory m(0x83, bytes);
  EXPECT_EQ(m.memo->readMemo(1), std::string(700, 'q'));
  EXPECT_EQ(m.memo->memoLength(1), 700u);
}

TEST(MemoFileRead, CallersBufferCutsTheMemo) {
  MemoOverMemory m(0x30, foxProFile(64, 8, 11, "hello world"));
  char buffer[6];
  EXPECT_EQ(m.memo->readMemo(8, 0, buffer, 5), 5u);
  EXPECT_EQ(std::string(buffer, 5), "hello");
  EXPECT_EQ(m.memo->readMemo(8, 0, buffer, sizeof buffer), 6u);
  char roomy[32];
  EXPECT_EQ(m.memo->readMemo(8, 0, roomy, sizeof roomy), 11u);
  EXPECT_STREQ(roomy, "hello world");
}

TEST(MemoFileWrite, AppendsAfterAPartlyFilledLastBlock) {
  auto bytes = foxProFile(64, 8, 5, "hello");  // 525 bytes: block 8 is partial
  MemoOverMemory m(0x30, bytes);
  EXPECT_EQ(m.memo->writeMemo("next"), 9u);
  EXPECT_EQ(m.memo->readMemo(8), "hello");
  EXPECT_EQ(m.memo->readMemo(9), "next");
}

}  // namespace
}  // namespace tabrix
