/// @file chunk_stream_test.cpp
/// @brief Nested chunk writing and reading, skipping, bounds and post-load callbacks.
#include "test_objects.h"

#include "host/chunk_stream.h"
#include "host/messages.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

void WriteText(ISave &s, const std::string &text) {
    ULONG n = 0;
    EXPECT_EQ(s.Write(text.data(), static_cast<ULONG>(text.size()), &n), IO_OK);
    EXPECT_EQ(n, text.size());
}

std::string ReadText(ILoad &l, ULONG n) {
    std::string text(n, '\0');
    ULONG got = 0;
    EXPECT_EQ(l.Read(text.data(), n, &got), IO_OK);
    EXPECT_EQ(got, n);
    return text;
}

/// outer 0x10 { "ab", inner 0x20 { "cdef" }, inner 0x30 {} }, then 0x40 { "g" }
std::vector<std::uint8_t> Sample() {
    ChunkWriter w;
    w.BeginChunk(0x10);
    WriteText(w, "ab");
    w.BeginChunk(0x20);
    WriteText(w, "cdef");
    w.EndChunk();
    w.BeginChunk(0x30);
    w.EndChunk();
    w.EndChunk();
    w.BeginChunk(0x40);
    WriteText(w, "g");
    w.EndChunk();
    EXPECT_EQ(w.OpenChunks(), 0);
    return w.Bytes();
}

TEST(ChunkStream, NestedChunksReadBackAsWritten) {
    const std::vector<std::uint8_t> bytes = Sample();
    // 6 + 2 + (6 + 4) + 6 for the outer chunk, 6 + 1 for the last.
    ASSERT_EQ(bytes.size(), 24u + 7u);
    ChunkReader r(bytes);
    ASSERT_EQ(r.OpenChunk(), IO_OK);
    EXPECT_EQ(r.CurChunkID(), 0x10);
    EXPECT_EQ(r.CurChunkLength(), 18u);
    EXPECT_EQ(ReadText(r, 2), "ab");
    ASSERT_EQ(r.OpenChunk(), IO_OK);
    EXPECT_EQ(r.CurChunkID(), 0x20);
    EXPECT_EQ(ReadText(r, 4), "cdef");
    EXPECT_EQ(r.OpenChunk(), IO_END);  // raw data used up: nothing nested follows
    EXPECT_EQ(r.CloseChunk(), IO_OK);
    ASSERT_EQ(r.OpenChunk(), IO_OK);
    EXPECT_EQ(r.CurChunkID(), 0x30);
    EXPECT_EQ(r.CurChunkLength(), 0u);
    EXPECT_EQ(r.OpenChunk(), IO_END);
    r.CloseChunk();
    EXPECT_EQ(r.OpenChunk(), IO_END);
    r.CloseChunk();
    ASSERT_EQ(r.OpenChunk(), IO_OK);
    EXPECT_EQ(r.CurChunkID(), 0x40);
    EXPECT_EQ(ReadText(r, 1), "g");
    r.CloseChunk();
    EXPECT_EQ(r.OpenChunk(), IO_END);
    EXPECT_FALSE(r.Failed());
}

TEST(ChunkStream, ClosingSkipsWhatWasNotRead) {
    const std::vector<std::uint8_t> bytes = Sample();
    ChunkReader r(bytes);
    ASSERT_EQ(r.OpenChunk(), IO_OK);  // 0x10, left unread
    r.CloseChunk();
    ASSERT_EQ(r.OpenChunk(), IO_OK);
    EXPECT_EQ(r.CurChunkID(), 0x40);
    EXPECT_EQ(ReadText(r, 1), "g");
}

TEST(ChunkStream, ReadingPastTheChunkFailsAndSaysWhere) {
    const std::vector<std::uint8_t> bytes = Sample();
    ChunkReader r(bytes, 100);  // the range starts at offset 100 of its file
    ASSERT_EQ(r.OpenChunk(), IO_OK);
    ASSERT_EQ(r.OpenChunk(), IO_ERROR);  // "ab" is not a chunk header...
    EXPECT_TRUE(r.Failed());
    EXPECT_EQ(r.ErrorOffset(), 106u);
    EXPECT_NE(r.Error().find("chunk 0x0010"), std::string::npos) << r.Error();

    ChunkReader r2(bytes);
    ASSERT_EQ(r2.OpenChunk(), IO_OK);
    char buf[32];
    ULONG got = 99;
    EXPECT_EQ(r2.Read(buf, 19, &got), IO_ERROR);  // the body holds 18 bytes
    EXPECT_EQ(got, 0u);
    EXPECT_NE(r2.Error().find("expected 19 bytes"), std::string::npos) << r2.Error();
    EXPECT_EQ(r2.CloseChunk(), IO_OK);
    EXPECT_EQ(r2.CloseChunk(), IO_ERROR);  // nothing open
}

TEST(ChunkStream, EveryTruncationIsDetected) {
    const std::vector<std::uint8_t> bytes = Sample();
    for (std::size_t n = 1; n < bytes.size(); ++n) {
        ChunkReader r(std::span<const std::uint8_t>(bytes).first(n));
        // Walk everything: open every chunk that opens, read nothing, close.
        IOResult res;
        int depth = 0;
        while (true) {
            res = r.OpenChunk();
            if (res == IO_OK) {
                ++depth;
                // 0x20 and 0x40 hold raw data only; do not look for chunks inside them.
                if (r.CurChunkID() == 0x20 || r.CurChunkID() == 0x40 ||
                    r.CurChunkID() == 0x30) {
                    r.CloseChunk();
                    --depth;
                } else if (r.CurChunkID() == 0x10) {
                    char two[2];
                    if (r.Read(two, 2, nullptr) != IO_OK) break;
                }
                continue;
            }
            if (res == IO_END && depth > 0) {
                r.CloseChunk();
                --depth;
                continue;
            }
            break;
        }
        // A truncated chunk claims more bytes than remain; only a cut exactly between the two
        // top-level chunks reads as a shorter, complete stream.
        if (n == 24) {
            EXPECT_EQ(res, IO_END) << n;
        } else {
            EXPECT_EQ(res, IO_ERROR) << n;
            EXPECT_TRUE(r.Failed()) << n;
        }
    }
}

TEST(ChunkStream, EndingAChunkNeverBegunIsAnAssertion) {
    hosttest::QuietUI quiet;
    ChunkWriter w;
    EXPECT_THROW(w.EndChunk(), HostAssertion);
}

/// Records its run in `log` and deletes itself; may register a follower while it runs.
class Recorder : public PostLoadCallback {
public:
    Recorder(std::vector<std::string> &log, std::string name, bool addFollower = false)
        : log_(log), name_(std::move(name)), addFollower_(addFollower) {}
    void proc(ILoad *iload) override {
        log_.push_back(name_);
        if (addFollower_) iload->RegisterPostLoadCallback(new Recorder(log_, name_ + "+"));
        iload->SetObsolete();
        delete this;
    }

private:
    std::vector<std::string> &log_;
    std::string name_;
    bool addFollower_;
};

TEST(ChunkStream, PostLoadCallbacksRunOnceInOrderAndDeleteThemselves) {
    std::vector<std::string> log;
    {
        ChunkReader r({});
        r.RegisterPostLoadCallback(new Recorder(log, "a", true));
        r.RegisterPostLoadCallback(new Recorder(log, "b"));
        EXPECT_FALSE(r.Obsolete());
        r.RunPostLoadCallbacks();
        EXPECT_TRUE(r.Obsolete());
        r.RunPostLoadCallbacks();  // nothing left to run
    }
    EXPECT_EQ(log, (std::vector<std::string>{"a", "b", "a+"}));
    {
        ChunkReader r({});
        r.RegisterPostLoadCallback(new Recorder(log, "never"));
    }  // the load failed before the callbacks ran: the reader deletes them
    EXPECT_EQ(log.size(), 3u);
}

TEST(ChunkStream, ACallbackThatThrowsIsDeletedByTheReader) {
    class Thrower : public PostLoadCallback {
    public:
        void proc(ILoad *) override { throw std::runtime_error("upgrade failed"); }
    };
    std::vector<std::string> log;
    ChunkReader r({});
    r.RegisterPostLoadCallback(new Thrower());
    r.RegisterPostLoadCallback(new Recorder(log, "after"));
    EXPECT_THROW(r.RunPostLoadCallbacks(), std::runtime_error);
    EXPECT_TRUE(log.empty());  // the rest never ran; the reader deletes it
}

}  // namespace
