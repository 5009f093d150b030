// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/LinkHarness.h"
#include "link/Replies.h"

#include <numeric>

namespace tr640::testing {
namespace {

// A whole input report with a correct last byte.
std::vector<std::uint8_t> Report(std::vector<std::uint8_t> head, std::size_t length = 65) {
    head.resize(length, 0);
    head.back() = NegatedSum(std::span(head).first(head.size() - 1));
    return head;
}

std::vector<std::uint8_t> StatusReply(int code) {
    return Report({0x01, 0x50, 6, 0xA7, 0x00, 0xFF, std::uint8_t(code >> 8), std::uint8_t(code)});
}

TEST(ParseReply, ReadReplyStoresOnlyIndicesBelowEightyFour) {
    ParamStore store;
    std::vector<std::uint8_t> head{0x01, 0x50, 26, 0xA0, 0x00, 0x39, 1, 80};
    for (int j = 0; j < 10; ++j) {
        head.push_back(std::uint8_t(j));
        head.push_back(std::uint8_t(0x10 + j));
    }
    const ReplyOutcome out = ParseReply(Report(head), store);
    EXPECT_EQ(out.kind, ReplyOutcome::Kind::ReadReply);
    EXPECT_EQ(out.valuesStored, 4);
    EXPECT_FALSE(out.checkMismatch);
    EXPECT_EQ(store.Device(1, 80), 0x0010);
    EXPECT_EQ(store.Device(1, 83), 3 * 256 + 0x13);
    EXPECT_EQ(store.Device(1, 84), 0);
}

TEST(ParseReply, ShortLengthStoresNothingButIsStillARead) {
    ParamStore store;
    const ReplyOutcome out = ParseReply(Report({0x01, 0x50, 6, 0xA0, 0x00, 0x39, 1, 0, 0x12, 0x34}), store);
    EXPECT_EQ(out.kind, ReplyOutcome::Kind::ReadReply);
    EXPECT_EQ(out.valuesStored, 0);
    EXPECT_EQ(store.Device(1, 0), 0);
}

TEST(ParseReply, LengthByteNeverReadsPastTheReport) {
    ParamStore store;
    // Claims 124 values but the report holds only two whole ones.
    std::vector<std::uint8_t> reply{0x01, 0x50, 0xFF, 0xA0, 0x00, 0x39, 0, 0, 0, 7, 0, 9, 5};
    const ReplyOutcome out = ParseReply(reply, store);
    EXPECT_EQ(out.valuesStored, 2);
    EXPECT_EQ(store.Device(0, 1), 9);
    EXPECT_EQ(store.Device(0, 2), 0);
}

TEST(ParseReply, PagesOutsideTheImageStoreNothing) {
    ParamStore store;
    const ReplyOutcome out = ParseReply(Report({0x01, 0x50, 26, 0xA0, 0x00, 0x39, 7, 0, 1, 2}), store);
    EXPECT_EQ(out.kind, ReplyOutcome::Kind::ReadReply);
    EXPECT_EQ(out.valuesStored, 0);
}

TEST(ParseReply, StatusCodesAndAddresses) {
    ParamStore store;
    for (int code : {0x0002, 0x0004, 0x0007, 0x0008})
        EXPECT_EQ(ParseReply(StatusReply(code), store).kind, ReplyOutcome::Kind::StatusAccepted) << code;
    EXPECT_EQ(ParseReply(StatusReply(0x0006), store).kind, ReplyOutcome::Kind::StatusError);
    EXPECT_EQ(ParseReply(StatusReply(0x0003), store).kind, ReplyOutcome::Kind::StatusOther);
    EXPECT_EQ(ParseReply(Report({0x01, 0x50, 6, 0xA7, 0x01, 0xFF, 0, 2}), store).kind, ReplyOutcome::Kind::Ignored);
    EXPECT_EQ(ParseReply(Report({0x01, 0x50, 6, 0xA7, 0x00, 0x3A, 0, 2}), store).kind, ReplyOutcome::Kind::Ignored);
}

TEST(ParseReply, ReportsOfEveryLengthAreSafe) {
    ParamStore store;
    const std::vector<std::uint8_t> full = StatusReply(2);
    for (std::size_t n = 0; n <= full.size(); ++n) {
        const ReplyOutcome out = ParseReply(std::span(full).first(n), store);
        if (n < 8) {
            EXPECT_NE(out.kind, ReplyOutcome::Kind::StatusAccepted) << n;
        }
    }
    EXPECT_EQ(ParseReply(std::span(full).first(8), store).kind, ReplyOutcome::Kind::StatusAccepted);
}

TEST(ParseReply, CheckMismatchIsReportedButTheReplyCounts) {
    ParamStore store;
    std::vector<std::uint8_t> reply = StatusReply(2);
    reply.back() ^= 0x5A;
    const ReplyOutcome out = ParseReply(reply, store);
    EXPECT_TRUE(out.checkMismatch);
    EXPECT_EQ(out.kind, ReplyOutcome::Kind::StatusAccepted);
}

TEST_F(LinkFixture, AcceptingStatusSetsAnsweredReadyAndReplyIn) {
    link.OnReply(StatusReply(0x0008));
    EXPECT_EQ(link.Vars().deviceAnswered, 1);
    EXPECT_EQ(link.Vars().ready, 1);
    EXPECT_EQ(link.Vars().transfer.state, kTransferReplyIn);
    EXPECT_FALSE(transferTimer.active);  // an answer while nothing waits starts nothing
}

TEST_F(LinkFixture, ErrorStatusIsReportedAsARefusalEachTime) {
    link.OnReply(StatusReply(0x0006));
    link.OnReply(StatusReply(0x0006));
    EXPECT_EQ(view.Boxes(), (std::vector<LinkOutcome>{LinkOutcome::Refused, LinkOutcome::Refused}));
    EXPECT_EQ(link.Vars().ready, 0);
}

TEST_F(LinkFixture, CheckMismatchLeavesATrafficLogLine) {
    std::vector<std::uint8_t> reply = StatusReply(2);
    const std::uint8_t good = reply.back();
    reply.back() = static_cast<std::uint8_t>(good + 1);
    link.OnReply(reply);
    ASSERT_EQ(view.traffic.size(), 1u);
    char expected[64];
    std::snprintf(expected, sizeof expected, "CHECK MISMATCH: expected %.2X, got %.2X", good, reply.back());
    EXPECT_EQ(view.traffic[0], expected);
    EXPECT_EQ(link.Vars().ready, 1);
}

}  // namespace
}  // namespace tr640::testing
