// COM objects with interface tables: QueryInterface answers, reference counts, destruction,
// the module lock count, and aggregation inside a hand-written outer object.
#include "framework/com/com_object.h"

#include <gtest/gtest.h>

#include <docobj.h>
#include <ocidl.h>

#include "framework/com/com_ptr.h"
#include "framework/com/inproc_module.h"
#include "fwcom_probe_object.h"

namespace {

using probe::CProbe;
using probe::CSiteFirstProbe;

template <typename Class>
framework::ComPtr<IUnknown> Create() {
    framework::ComPtr<IUnknown> object;
    EXPECT_EQ(framework::CreateComInstance<Class>(nullptr, IID_IUnknown, object.ReceiveVoid()),
              S_OK);
    return object;
}

ULONG ReferenceCount(IUnknown* object) {
    object->AddRef();
    return object->Release();
}

class ComObjectTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(probe::LiveObjects(), 0);
        ASSERT_EQ(framework::ModuleLockCount(), 0);
    }
    void TearDown() override {
        EXPECT_EQ(probe::LiveObjects(), 0) << "every object must be gone after its last Release";
        EXPECT_EQ(framework::ModuleLockCount(), 0);
    }
};

TEST_F(ComObjectTest, QueryInterfaceAnswersUnknownAndEachListedInterface) {
    framework::ComPtr<IUnknown> object = Create<CProbe>();
    ASSERT_TRUE(object);
    framework::ComPtr<IFrameworkProbe> probeInterface;
    ASSERT_EQ(object.QueryInterface(probeInterface), S_OK);
    framework::ComPtr<IObjectWithSite> site;
    ASSERT_EQ(object.QueryInterface(site), S_OK);
    framework::ComPtr<IPersist> persist;
    ASSERT_EQ(object.QueryInterface(persist), S_OK);

    struct Case {
        const IID* iid;
        void* expected;
    };
    const Case cases[] = {
        {&IID_IUnknown, probeInterface.Get()},  // the first entry is the identity
        {&IID_IFrameworkProbe, probeInterface.Get()},
        {&IID_IDispatch, static_cast<IDispatch*>(probeInterface.Get())},
        {&IID_IObjectWithSite, site.Get()},
        {&IID_IPersist, persist.Get()},
    };
    for (const Case& c : cases) {
        // Asked through every interface of the object, the answer is the same.
        for (IUnknown* asked : {object.Get(), static_cast<IUnknown*>(site.Get()),
                                static_cast<IUnknown*>(persist.Get())}) {
            void* out = nullptr;
            ASSERT_EQ(asked->QueryInterface(*c.iid, &out), S_OK);
            EXPECT_EQ(out, c.expected);
            static_cast<IUnknown*>(out)->Release();
        }
    }
    EXPECT_NE(static_cast<void*>(site.Get()), static_cast<void*>(persist.Get()));
    LONG answer = 0;
    EXPECT_EQ(probeInterface->Ping(&answer), S_OK);
    EXPECT_EQ(answer, CProbe::kPingAnswer);
}

TEST_F(ComObjectTest, QueryInterfaceRefusesUnlistedInterfaces) {
    framework::ComPtr<IUnknown> object = Create<CProbe>();
    for (const IID* iid : {&IID_IOleCommandTarget, &IID_IPersistStream, &IID_IClassFactory,
                           &IID_IProvideClassInfo, &IID_NULL}) {
        void* out = reinterpret_cast<void*>(1);
        EXPECT_EQ(object->QueryInterface(*iid, &out), E_NOINTERFACE);
        EXPECT_EQ(out, nullptr) << "a refused QueryInterface clears its out pointer";
    }
    EXPECT_EQ(object->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(ReferenceCount(object.Get()), 1u) << "refusals take no reference";
}

TEST_F(ComObjectTest, IdentityIsTheFirstEntryOfTheTable) {
    framework::ComPtr<IUnknown> object = Create<CSiteFirstProbe>();
    framework::ComPtr<IObjectWithSite> site;
    ASSERT_EQ(object.QueryInterface(site), S_OK);
    framework::ComPtr<IPersist> persist;
    ASSERT_EQ(object.QueryInterface(persist), S_OK);
    EXPECT_EQ(static_cast<void*>(object.Get()), static_cast<void*>(site.Get()));
    EXPECT_NE(static_cast<void*>(object.Get()), static_cast<void*>(persist.Get()));
    void* dispatch = nullptr;
    EXPECT_EQ(object->QueryInterface(IID_IDispatch, &dispatch), E_NOINTERFACE);
}

TEST_F(ComObjectTest, ReferenceCountsAndDestructionAtZero) {
    IUnknown* object = nullptr;
    ASSERT_EQ(framework::CreateComInstance<CProbe>(nullptr, IID_IUnknown,
                                                   reinterpret_cast<void**>(&object)),
              S_OK);
    EXPECT_EQ(probe::LiveObjects(), 1);
    EXPECT_EQ(object->AddRef(), 2u);
    EXPECT_EQ(object->AddRef(), 3u);
    IPersist* persist = nullptr;
    ASSERT_EQ(object->QueryInterface(IID_IPersist, reinterpret_cast<void**>(&persist)), S_OK);
    EXPECT_EQ(persist->Release(), 3u) << "one count for the whole object";
    EXPECT_EQ(object->Release(), 2u);
    EXPECT_EQ(object->Release(), 1u);
    EXPECT_EQ(probe::LiveObjects(), 1);
    EXPECT_EQ(object->Release(), 0u);
    EXPECT_EQ(probe::LiveObjects(), 0);
}

TEST_F(ComObjectTest, CreationAskedForAnUnlistedInterfaceLeavesNothingBehind) {
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(framework::CreateComInstance<CProbe>(nullptr, IID_IOleCommandTarget, &out),
              E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(framework::CreateComInstance<CProbe>(nullptr, IID_IUnknown, nullptr), E_POINTER);
}

TEST_F(ComObjectTest, AFailingConstructorGivesAnErrorAndNoLock) {
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(framework::CreateComInstance<probe::CFailingProbe>(nullptr, IID_IPersist, &out),
              E_UNEXPECTED);
    EXPECT_EQ(out, nullptr);
    framework::ComPtr<IUnknown> outerStandIn = Create<CSiteFirstProbe>();
    EXPECT_EQ(
        framework::CreateComInstance<probe::CFailingProbe>(outerStandIn.Get(), IID_IUnknown, &out),
        E_UNEXPECTED);
}

TEST_F(ComObjectTest, EachLiveObjectHoldsOneModuleLock) {
    EXPECT_EQ(framework::CanUnloadModule(), S_OK);
    framework::ComPtr<IUnknown> first = Create<CProbe>();
    EXPECT_EQ(framework::ModuleLockCount(), 1);
    EXPECT_EQ(framework::CanUnloadModule(), S_FALSE);
    framework::ComPtr<IUnknown> second = Create<CSiteFirstProbe>();
    EXPECT_EQ(framework::ModuleLockCount(), 2);
    framework::ComPtr<IUnknown> sameAsFirst = first;
    EXPECT_EQ(framework::ModuleLockCount(), 2) << "references are not locks";
    first.Reset();
    sameAsFirst.Reset();
    EXPECT_EQ(framework::ModuleLockCount(), 1);
    second.Reset();
    EXPECT_EQ(framework::ModuleLockCount(), 0);
    EXPECT_EQ(framework::CanUnloadModule(), S_OK);
}

// An outer object that aggregates a CProbe: it answers IUnknown itself, hands IFrameworkProbe
// and IObjectWithSite on to the inner object and refuses the rest. It counts the calls that
// reach it.
class Outer final : public IUnknown {
public:
    HRESULT Aggregate() {
        return framework::CreateComInstance<CProbe>(this, IID_IUnknown, inner_.ReceiveVoid());
    }
    IUnknown* Inner() const { return inner_.Get(); }
    void DropInner() { inner_.Reset(); }

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        ++queries;
        if (!out) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown)) {
            *out = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        if (inner_ &&
            (IsEqualIID(iid, IID_IFrameworkProbe) || IsEqualIID(iid, IID_IObjectWithSite))) {
            return inner_->QueryInterface(iid, out);
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++references); }
    STDMETHODIMP_(ULONG) Release() override { return static_cast<ULONG>(--references); }

    int queries = 0;
    long references = 1;  // the test's own, on the stack

private:
    framework::ComPtr<IUnknown> inner_;
};

TEST_F(ComObjectTest, AggregatedObjectDelegatesItsUnknownToTheOuter) {
    Outer outer;
    ASSERT_EQ(outer.Aggregate(), S_OK);
    IUnknown* inner = outer.Inner();
    ASSERT_NE(inner, nullptr);
    EXPECT_NE(static_cast<void*>(inner), static_cast<void*>(&outer));
    EXPECT_EQ(outer.references, 1) << "creating the inner object must not count on the outer";
    EXPECT_EQ(framework::ModuleLockCount(), 1);

    // The inner IUnknown answers IUnknown with itself, counting on itself.
    void* innerAgain = nullptr;
    ASSERT_EQ(inner->QueryInterface(IID_IUnknown, &innerAgain), S_OK);
    EXPECT_EQ(innerAgain, static_cast<void*>(inner));
    EXPECT_EQ(inner->Release(), 1u);
    EXPECT_EQ(outer.references, 1);

    // Other interfaces come from the table; their references count on the outer.
    framework::ComPtr<IFrameworkProbe> probeInterface;
    ASSERT_EQ(inner->QueryInterface(IID_IFrameworkProbe, probeInterface.ReceiveVoid()), S_OK);
    EXPECT_EQ(outer.references, 2);
    EXPECT_EQ(probeInterface->AddRef(), 3u);
    EXPECT_EQ(probeInterface->Release(), 2u);
    EXPECT_EQ(outer.queries, 0);

    // Asked through an inner interface, QueryInterface is the outer's: identity is the outer.
    void* identity = nullptr;
    ASSERT_EQ(probeInterface->QueryInterface(IID_IUnknown, &identity), S_OK);
    EXPECT_EQ(identity, static_cast<void*>(&outer));
    static_cast<IUnknown*>(identity)->Release();
    EXPECT_EQ(outer.queries, 1);
    framework::ComPtr<IObjectWithSite> site;
    ASSERT_EQ(probeInterface->QueryInterface(IID_IObjectWithSite, site.ReceiveVoid()), S_OK);
    EXPECT_EQ(outer.queries, 2);
    // IPersist is in the inner table but the outer does not expose it.
    void* persist = nullptr;
    EXPECT_EQ(probeInterface->QueryInterface(IID_IPersist, &persist), E_NOINTERFACE);
    EXPECT_EQ(outer.queries, 3);

    site.Reset();
    probeInterface.Reset();
    EXPECT_EQ(outer.references, 1);
    EXPECT_EQ(probe::LiveObjects(), 1);
    outer.DropInner();
    EXPECT_EQ(probe::LiveObjects(), 0) << "the last inner Release destroys the object";
    EXPECT_EQ(framework::ModuleLockCount(), 0);
}

TEST_F(ComObjectTest, AggregationAsksOnlyForUnknown) {
    Outer outer;
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(framework::CreateComInstance<CProbe>(&outer, IID_IFrameworkProbe, &out),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(probe::LiveObjects(), 0);
    EXPECT_EQ(outer.references, 1);
}

}  // namespace
