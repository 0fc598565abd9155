// The frame checksum: MD5 as RFC 1321 defines it, over a frame's RGB bytes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/capture.h"

namespace {

TEST(FrameHash, Md5MatchesTheReferenceVectors) {
  const struct {
    std::string message, digest;
  } cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      // 55, 56 and 64 bytes: the padding fits, spills into a second block, or
      // follows a whole block.
      {std::string(55, 'a'), "ef1772b6dff9a122358552954ad0df65"},
      {std::string(56, 'a'), "3b0c8ac703f828b04c6c197006d17218"},
      {std::string(64, 'a'), "014842d480b571495a4a0363793f7367"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(CaptureMd5(c.message.data(), c.message.size()), c.digest) << c.message.size();
}

TEST(FrameHash, CoversTheRgbBytesOfEachRowAndNothingElse) {
  // Two rows of two pixels with a pitch of three: the third word and the
  // unused top byte must not count.
  std::vector<uint32_t> frame = {0xFF616263, 0x00646566, 0x12345678,
                                 0x00676869, 0xAB6A6B6C, 0x9ABCDEF0};
  EXPECT_EQ(CaptureFrameMd5(frame.data(), 2, 2, 3), CaptureMd5("abcdefghijkl", 12));
  frame[0] ^= 1;
  EXPECT_NE(CaptureFrameMd5(frame.data(), 2, 2, 3), CaptureMd5("abcdefghijkl", 12));
}

}  // namespace
