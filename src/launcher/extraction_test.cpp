#include "launcher/extraction.h"

#include <gtest/gtest.h>

#include "common/log_host.h"

using namespace launcher;

namespace {

class MemorySink : public ByteSink {
public:
    std::vector<uint8_t> bytes;
    std::vector<size_t> writes;
    size_t failAfter = SIZE_MAX;  // bytes accepted before writes fail
    size_t maxPerWrite = SIZE_MAX;
    bool write(const uint8_t* data, size_t n, size_t& written, uint32_t& error) override {
        if (bytes.size() >= failAfter) {
            error = 112;
            return false;
        }
        written = std::min(n, maxPerWrite);
        bytes.insert(bytes.end(), data, data + written);
        writes.push_back(written);
        return true;
    }
};

std::vector<uint8_t> stored(const std::vector<uint8_t>& plain) {
    std::vector<uint8_t> out;
    for (uint8_t b : plain) out.push_back(b ^ 0xA7);
    return out;
}

}  // namespace

TEST(CopyFileData, DecodesInChunksOfSixThousand) {
    std::vector<uint8_t> plain(6001);
    for (size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<uint8_t>(i * 7);
    plain[0] = 0x00;
    plain[1] = 0xA7;
    MemorySource source(stored(plain));
    BlockReader reader(source);
    MemorySink sink;
    EXPECT_EQ(copyFileData(reader, sink, 6001, true), ExtractResult::Ok);
    EXPECT_EQ(sink.bytes, plain);
    EXPECT_EQ(sink.writes, (std::vector<size_t>{6000, 1}));
    EXPECT_EQ(reader.position(), 6001u);
}

TEST(CopyFileData, ExactChunkIsOneWriteAndZeroCountCopiesNothing) {
    MemorySource source(stored(std::vector<uint8_t>(6000, 1)));
    BlockReader reader(source);
    MemorySink sink;
    EXPECT_EQ(copyFileData(reader, sink, 6000, true), ExtractResult::Ok);
    EXPECT_EQ(sink.writes, std::vector<size_t>{6000});
    EXPECT_EQ(copyFileData(reader, sink, 0, true), ExtractResult::Ok);
    EXPECT_EQ(copyFileData(reader, sink, -5, true), ExtractResult::Ok);
    EXPECT_EQ(sink.writes.size(), 1u);
}

TEST(CopyFileData, ContentCutShortIsAReadFailure) {
    (void)takeLogLines();
    MemorySource source(std::vector<uint8_t>(100, 0xA7));
    BlockReader reader(source);
    MemorySink sink;
    EXPECT_EQ(copyFileData(reader, sink, 150, true), ExtractResult::ReadFailed);
    EXPECT_EQ(sink.bytes, std::vector<uint8_t>(100, 0));
    EXPECT_EQ(takeLogLines(), std::vector<std::wstring>{L"ERROR: ReadFile failed 0 0 100"});
}

TEST(CopyFileData, PartialWritesContinueAndFailedWritesStop) {
    (void)takeLogLines();
    MemorySource source(std::vector<uint8_t>(50, 0));
    BlockReader reader(source);
    MemorySink partial;
    partial.maxPerWrite = 20;
    EXPECT_EQ(copyFileData(reader, partial, 50, false), ExtractResult::Ok);
    EXPECT_EQ(partial.writes, (std::vector<size_t>{20, 20, 10}));
    reader.seek(0);
    MemorySink failing;
    failing.failAfter = 0;
    EXPECT_EQ(copyFileData(reader, failing, 50, false), ExtractResult::WriteFailed);
    EXPECT_EQ(takeLogLines(), std::vector<std::wstring>{L"ERROR: WriteFile failed 50 112"});
}

TEST(IncludedFileNames, SplitLikeStrtokAndOneDirectoryLevel) {
    EXPECT_EQ(includedFileNames(";a.dll;;lib\\b.jar;"),
              (std::vector<std::string>{"a.dll", "lib\\b.jar"}));
    EXPECT_EQ(includedFileDirectory("lib\\b.jar"), "lib");
    EXPECT_EQ(includedFileDirectory("x\\y\\z.txt"), "x");
    EXPECT_EQ(includedFileDirectory("plain.txt"), "");
}
