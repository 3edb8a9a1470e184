// The class factory and the class-object cache behind DllGetClassObject, also through the real
// COM runtime.
#include "framework/com/class_factory.h"

#include <gtest/gtest.h>

#include <docobj.h>

#include <thread>
#include <vector>

#include "framework/com/com_ptr.h"
#include "framework/com/inproc_module.h"
#include "fwcom_probe_object.h"

namespace {

using probe::CProbe;

class ClassFactoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(probe::LiveObjects(), 0);
        ASSERT_EQ(framework::ModuleLockCount(), 0);
    }
    void TearDown() override {
        EXPECT_EQ(probe::LiveObjects(), 0);
        EXPECT_EQ(framework::ModuleLockCount(), 0);
    }

    HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out) {
        return framework::GetClassObject(clsid, iid, out, {&otherClass_, &probeClass_});
    }

    framework::ComPtr<IClassFactory> Factory() {
        framework::ComPtr<IClassFactory> factory;
        EXPECT_EQ(GetClassObject(CLSID_FrameworkProbe, IID_IClassFactory, factory.ReceiveVoid()),
                  S_OK);
        return factory;
    }

    framework::ClassObjectEntry otherClass_{
        CLSID_StdGlobalInterfaceTable, &framework::ClassFactory<probe::CSiteFirstProbe>::Create};
    framework::ClassObjectEntry probeClass_{CLSID_FrameworkProbe,
                                            &framework::ClassFactory<CProbe>::Create};
};

TEST_F(ClassFactoryTest, UnknownClassIsNotAvailable) {
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(GetClassObject(LIBID_FrameworkProbeLib, IID_IClassFactory, &out),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(out, nullptr);
}

TEST_F(ClassFactoryTest, FactoryIsCreatedOnceAndCached) {
    framework::ComPtr<IClassFactory> first = Factory();
    ASSERT_TRUE(first);
    framework::ComPtr<IUnknown> asUnknown;
    ASSERT_EQ(GetClassObject(CLSID_FrameworkProbe, IID_IUnknown, asUnknown.ReceiveVoid()), S_OK);
    EXPECT_EQ(static_cast<void*>(asUnknown.Get()), static_cast<void*>(first.Get()));
    EXPECT_EQ(Factory().Get(), first.Get());

    framework::ComPtr<IClassFactory> other;
    ASSERT_EQ(GetClassObject(CLSID_StdGlobalInterfaceTable, IID_IClassFactory, other.ReceiveVoid()),
              S_OK);
    EXPECT_NE(other.Get(), first.Get()) << "each class has its own factory";

    void* refused = reinterpret_cast<void*>(1);
    EXPECT_EQ(GetClassObject(CLSID_FrameworkProbe, IID_IPersist, &refused), E_NOINTERFACE);
    EXPECT_EQ(refused, nullptr);
    EXPECT_EQ(framework::ModuleLockCount(), 0) << "a cached factory does not lock the module";
}

TEST_F(ClassFactoryTest, ThreadsAskingAtOnceShareOneFactory) {
    constexpr int kThreads = 8;
    std::vector<IClassFactory*> seen(kThreads, nullptr);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([this, &seen, i] {
            GetClassObject(CLSID_FrameworkProbe, IID_IClassFactory,
                           reinterpret_cast<void**>(&seen[i]));
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (IClassFactory* factory : seen) {
        ASSERT_NE(factory, nullptr);
        EXPECT_EQ(factory, seen[0]);
    }
    for (IClassFactory* factory : seen) factory->Release();
}

TEST_F(ClassFactoryTest, CreateInstanceMakesPlainAndAggregatedObjects) {
    framework::ComPtr<IClassFactory> factory = Factory();
    framework::ComPtr<IFrameworkProbe> plain;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IFrameworkProbe, plain.ReceiveVoid()), S_OK);
    LONG answer = 0;
    EXPECT_EQ(plain->Ping(&answer), S_OK);
    EXPECT_EQ(answer, CProbe::kPingAnswer);
    EXPECT_EQ(framework::ModuleLockCount(), 1);

    // Any IUnknown does as the outer for this check; the probe itself is handy.
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(plain.Get(), IID_IFrameworkProbe, &out),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(probe::LiveObjects(), 1);

    framework::ComPtr<IUnknown> inner;
    ASSERT_EQ(factory->CreateInstance(plain.Get(), IID_IUnknown, inner.ReceiveVoid()), S_OK);
    EXPECT_EQ(probe::LiveObjects(), 2);
    framework::ComPtr<IUnknown> innerIdentity;
    ASSERT_EQ(inner->QueryInterface(IID_IUnknown, innerIdentity.ReceiveVoid()), S_OK);
    EXPECT_EQ(innerIdentity.Get(), inner.Get());

    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IOleCommandTarget, &out), E_NOINTERFACE);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);
}

TEST_F(ClassFactoryTest, LockServerHoldsTheModule) {
    framework::ComPtr<IClassFactory> factory = Factory();
    EXPECT_EQ(framework::CanUnloadModule(), S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(framework::ModuleLockCount(), 2);
    EXPECT_EQ(framework::CanUnloadModule(), S_FALSE);
    factory.Reset();
    EXPECT_EQ(framework::CanUnloadModule(), S_FALSE) << "the lock outlives the reference";
    factory = Factory();
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(framework::CanUnloadModule(), S_FALSE);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(framework::CanUnloadModule(), S_OK);
}

// The factory registered with the real COM runtime: CoCreateInstance goes through it.
TEST_F(ClassFactoryTest, ComRuntimeCreatesObjectsThroughTheFactory) {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    {
        framework::ComPtr<IUnknown> factory;
        ASSERT_EQ(GetClassObject(CLSID_FrameworkProbe, IID_IUnknown, factory.ReceiveVoid()), S_OK);
        DWORD cookie = 0;
        ASSERT_EQ(CoRegisterClassObject(CLSID_FrameworkProbe, factory.Get(), CLSCTX_INPROC_SERVER,
                                        REGCLS_MULTIPLEUSE, &cookie),
                  S_OK);
        framework::ComPtr<IFrameworkProbe> created;
        EXPECT_EQ(CoCreateInstance(CLSID_FrameworkProbe, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IFrameworkProbe, created.ReceiveVoid()),
                  S_OK);
        ASSERT_TRUE(created);
        LONG answer = 0;
        EXPECT_EQ(created->Ping(&answer), S_OK);
        EXPECT_EQ(answer, CProbe::kPingAnswer);
        framework::ComPtr<IPersist> persist;
        ASSERT_EQ(created.QueryInterface(persist), S_OK);
        CLSID clsid = CLSID_NULL;
        EXPECT_EQ(persist->GetClassID(&clsid), S_OK);
        EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_FrameworkProbe));
        EXPECT_EQ(framework::ModuleLockCount(), 1);
        EXPECT_EQ(CoRevokeClassObject(cookie), S_OK);
    }
    CoUninitialize();
}

}  // namespace
