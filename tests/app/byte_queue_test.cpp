// The received-byte queue behind InputBuffer: bytes come out in order, one at a time, across
// appends made while part of the front has been taken.

#include "app/byte_queue.h"

#include <gtest/gtest.h>

#include <string>

namespace kadro::test {
namespace {

TEST(ByteQueue, TakesBytesInOrderAcrossAppends) {
    ByteQueue queue;
    EXPECT_TRUE(queue.empty());
    queue += "TE";
    EXPECT_EQ(queue.take_front(), 'T');
    queue += std::string("x\0y", 3);  // appended while the front is half taken
    EXPECT_EQ(queue.size(), 4u);
    EXPECT_EQ(queue.view(), std::string("Ex\0y", 4));
    std::string out;
    while (!queue.empty()) {
        out.push_back(queue.take_front());
    }
    EXPECT_EQ(out, std::string("Ex\0y", 4));
    queue += "";
    EXPECT_TRUE(queue.empty());
}

TEST(ByteQueue, AStreamTakenWhileItArrivesComesOutWhole) {
    ByteQueue queue;
    std::string sent;
    std::string taken;
    for (int chunk = 0; chunk < 500; ++chunk) {
        std::string bytes;
        for (int i = 0; i < chunk % 37 + 1; ++i) {
            bytes.push_back(static_cast<char>(sent.size() + bytes.size()));
        }
        sent += bytes;
        queue += bytes;
        for (int i = 0; i < chunk % 23 && !queue.empty(); ++i) {
            taken.push_back(queue.take_front());
        }
        ASSERT_EQ(queue.view(), std::string_view(sent).substr(taken.size()));
    }
    while (!queue.empty()) {
        taken.push_back(queue.take_front());
    }
    EXPECT_EQ(taken, sent);
}

}  // namespace
}  // namespace kadro::test
