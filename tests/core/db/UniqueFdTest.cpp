#include "core/db/UniqueFd.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace velmorant {
namespace {

bool isOpen(int fd) { return fd >= 0 && ::fcntl(fd, F_GETFD) != -1; }
int openNull() { return ::open("/dev/null", O_RDONLY | O_CLOEXEC); }

// Every way of handing a descriptor on leaves exactly one owner. The test then destroys that
// owner, takes the freed number again for a probe, and destroys every other object: a second
// close by any of them would close the probe.
TEST(UniqueFd, EveryHandOverLeavesOneOwnerThatClosesOnce) {
    using Owners = std::vector<std::unique_ptr<UniqueFd>>;
    struct Case {
        const char* what;
        // Starts from owners[0] holding the descriptor; returns the index of the new owner.
        std::function<size_t(Owners&)> handOver;
    };
    const Case cases[] = {
        {"kept", [](Owners&) { return size_t{0}; }},
        {"move-constructed",
         [](Owners& o) {
             o.push_back(std::make_unique<UniqueFd>(std::move(*o[0])));
             return size_t{1};
         }},
        {"move-assigned over an empty one",
         [](Owners& o) {
             o.push_back(std::make_unique<UniqueFd>());
             *o[1] = std::move(*o[0]);
             return size_t{1};
         }},
        {"moved along a chain",
         [](Owners& o) {
             o.push_back(std::make_unique<UniqueFd>(std::move(*o[0])));
             o.push_back(std::make_unique<UniqueFd>(std::move(*o[1])));
             return size_t{2};
         }},
        {"moved onto itself",
         [](Owners& o) {
             UniqueFd& target = *o[0];
             UniqueFd& source = *o.front();  // the same object, by another name
             target = std::move(source);
             return size_t{0};
         }},
        {"released and taken up",
         [](Owners& o) {
             o.push_back(std::make_unique<UniqueFd>(o[0]->release()));
             return size_t{1};
         }},
        {"reset to the descriptor it holds",
         [](Owners& o) {
             o[0]->reset(o[0]->get());
             return size_t{0};
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int raw = openNull();
        ASSERT_GE(raw, 0);
        Owners owners;
        owners.push_back(std::make_unique<UniqueFd>(raw));
        const size_t owner = c.handOver(owners);
        for (size_t i = 0; i < owners.size(); ++i) {
            EXPECT_EQ(static_cast<bool>(*owners[i]), i == owner) << "object " << i;
            EXPECT_EQ(owners[i]->get(), i == owner ? raw : -1) << "object " << i;
        }
        EXPECT_TRUE(isOpen(raw));

        owners[owner].reset();
        EXPECT_FALSE(isOpen(raw));
        const UniqueFd probe(openNull());
        ASSERT_EQ(probe.get(), raw) << "the lowest free number is taken again";
        owners.clear();
        EXPECT_TRUE(isOpen(probe.get()));
    }
}

TEST(UniqueFd, ResetAndCloseLetGoOfWhatIsHeld) {
    UniqueFd file(openNull());
    const int first = file.get();
    file.reset(openNull());  // the first one is closed, the second one held
    EXPECT_FALSE(isOpen(first));
    EXPECT_TRUE(isOpen(file.get()));

    const int second = file.get();
    EXPECT_TRUE(file.close());
    EXPECT_FALSE(file);
    EXPECT_FALSE(isOpen(second));
    EXPECT_TRUE(file.close());  // nothing held: nothing to fail
    file.reset();
    EXPECT_EQ(file.get(), -1);

    // A failed open() holds nothing, whatever negative value it gave.
    for (const int failed : {-1, -2}) {
        UniqueFd none(failed);
        EXPECT_FALSE(none);
        EXPECT_EQ(none.get(), -1);
        EXPECT_EQ(none.release(), -1);
    }
    EXPECT_FALSE(UniqueFd(::open("/no/such/file", O_RDONLY | O_CLOEXEC)));
}

// close() is for files whose written data matters: a failing close is reported, and the
// object holds nothing afterwards either way.
TEST(UniqueFd, CloseReportsAFailingClose) {
    const int raw = openNull();
    UniqueFd file(raw);
    ASSERT_EQ(::close(raw), 0);  // closed behind the owner's back: its close() fails
    EXPECT_FALSE(file.close());
    EXPECT_FALSE(file);
}

}  // namespace
}  // namespace velmorant
