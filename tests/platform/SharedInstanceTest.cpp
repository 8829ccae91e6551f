#include "platform/SharedInstance.h"

#include <gtest/gtest.h>

namespace talvor {
namespace {

// Each test uses its own classes: the holder's state lives for the process.

template <int N>
struct Withdrawing {
    using Shared = SharedInstance<Withdrawing, SharedLifetime::ForProcess>;
    ~Withdrawing() { Shared::withdraw(this); }
};

TEST(platformSharedInstance, AnObjectMadeOnFirstUseIsMadeAgainOnceItIsGone) {
    using Shared = Withdrawing<0>::Shared;
    Withdrawing<0>* made = &Shared::get();
    EXPECT_EQ(&Shared::get(), made);
    delete made;  // as a parent deletes a window it took in
    EXPECT_EQ(Shared::existing(), nullptr);
    Withdrawing<0>* again = &Shared::get();
    EXPECT_NE(again, nullptr);
    EXPECT_EQ(Shared::existing(), again);
}

TEST(platformSharedInstance, AReplacedObjectStaysAliveAndNullptrMakesAFreshOne) {
    using Shared = Withdrawing<1>::Shared;
    Withdrawing<1>* made = &Shared::get();
    {
        Withdrawing<1> installed;
        Shared::replace(&installed);
        EXPECT_EQ(&Shared::get(), &installed);
    }  // its destructor withdraws it
    EXPECT_EQ(Shared::existing(), nullptr);
    Withdrawing<1>* fresh = &Shared::get();
    EXPECT_NE(fresh, &*made);
    Shared::replace(fresh);  // handing back its own object keeps it
    EXPECT_EQ(&Shared::get(), fresh);
    Shared::replace(nullptr);
}

struct Seam {
    virtual ~Seam() { SharedInstance<Seam>::withdraw(this); }
};

Seam& realSeam() {
    static Seam* real = new Seam();
    return *real;
}

TEST(platformSharedInstance, AStandInCoversTheRealObjectUntilItGoesOrIsTakenAway) {
    using Shared = SharedInstance<Seam>;
    EXPECT_EQ(&Shared::getOr(&realSeam), &realSeam());
    Seam fake;
    Shared::setStandIn(&fake);
    EXPECT_EQ(&Shared::getOr(&realSeam), &fake);
    {
        Seam inner;
        Shared::Override use(inner);
        EXPECT_EQ(&Shared::getOr(&realSeam), &inner);
    }
    EXPECT_EQ(&Shared::getOr(&realSeam), &fake);
    {
        Seam dying;
        Shared::setStandIn(&dying);
    }
    EXPECT_EQ(&Shared::getOr(&realSeam), &realSeam());
    Shared::setStandIn(&fake);
    Shared::setStandIn(nullptr);
    EXPECT_EQ(&Shared::getOr(&realSeam), &realSeam());
}

}  // namespace
}  // namespace talvor
