// Our own COM runtime, used where the system has none.
#include <gtest/gtest.h>

#include <thread>

#include "com/com_ptr.h"
#include "com/runtime/com_object.h"

namespace {

class Runtime : public ::testing::Test {
protected:
    void SetUp() override { comrt::ResetRuntimeForTests(); }
    void TearDown() override
    {
        comrt::ResetRuntimeForTests();
        EXPECT_EQ(comrt::LiveObjectCount(), 0);
        EXPECT_EQ(comrt::LiveStringCount(), 0);
    }
};

TEST_F(Runtime, BstrCarriesItsLengthAndEmbeddedZeros)
{
    BSTR text = SysAllocString(L"HLMX 8080 TCP");
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(SysStringLen(text), 13u);
    EXPECT_EQ(std::wstring(text), L"HLMX 8080 TCP");
    BSTR withZero = SysAllocStringLen(L"a\0b", 3);
    EXPECT_EQ(SysStringLen(withZero), 3u);
    EXPECT_EQ(comrt::LiveStringCount(), 2);
    SysFreeString(text);
    SysFreeString(withZero);
    SysFreeString(nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    const Bstr empty(L"");
    EXPECT_NE(empty.get(), nullptr);
    EXPECT_EQ(empty.length(), 0u);
}

TEST_F(Runtime, CoInitializeOncePerThreadAndInjectedFailure)
{
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
    HRESULT other = E_FAIL;
    std::thread([&] { other = CoInitialize(nullptr); }).join();
    EXPECT_EQ(other, S_OK);
    comrt::InjectCoInitializeFailure(E_OUTOFMEMORY);
    EXPECT_EQ(CoInitialize(nullptr), E_OUTOFMEMORY);
}

// Two interfaces on one object: either one reaches the other, and one count covers both.
struct Counted : comrt::ComObject<INetFwOpenPort, IStaticPortMapping> {
    HRESULT get_Port(LONG*) override { return E_NOTIMPL; }
    HRESULT put_Port(LONG) override { return E_NOTIMPL; }
    HRESULT get_Protocol(NET_FW_IP_PROTOCOL*) override { return E_NOTIMPL; }
    HRESULT put_Protocol(NET_FW_IP_PROTOCOL) override { return E_NOTIMPL; }
    HRESULT get_Name(BSTR*) override { return E_NOTIMPL; }
    HRESULT put_Name(BSTR) override { return E_NOTIMPL; }
    HRESULT get_Enabled(VARIANT_BOOL*) override { return E_NOTIMPL; }
    HRESULT get_ExternalIPAddress(BSTR*) override { return E_NOTIMPL; }
    HRESULT get_ExternalPort(LONG*) override { return E_NOTIMPL; }
    HRESULT get_InternalPort(LONG*) override { return E_NOTIMPL; }
    HRESULT get_Protocol(BSTR*) override { return E_NOTIMPL; }
    HRESULT get_InternalClient(BSTR*) override { return E_NOTIMPL; }
    HRESULT get_Description(BSTR*) override { return E_NOTIMPL; }
};

TEST_F(Runtime, CreatesRegisteredClassesOnlyAndCountsReferences)
{
    ComPtr<INetFwOpenPort> port;
    EXPECT_EQ(CoCreateInstance(CLSID_NetFwOpenPort, nullptr, CLSCTX_INPROC_SERVER, IID_INetFwOpenPort, port.put_void()),
              REGDB_E_CLASSNOTREG);
    EXPECT_FALSE(port);

    comrt::RegisterClass(CLSID_NetFwOpenPort, comrt::FactoryFor<Counted>());
    ComPtr<IUnknown> outer;
    ComPtr<IUnknown> aggregated;
    EXPECT_EQ(CoCreateInstance(CLSID_NetFwOpenPort, reinterpret_cast<IUnknown*>(&outer), CLSCTX_INPROC_SERVER,
                               IID_INetFwOpenPort, aggregated.put_void()),
              CLASS_E_NOAGGREGATION);

    ASSERT_EQ(CoCreateInstance(CLSID_NetFwOpenPort, nullptr, CLSCTX_INPROC_SERVER, IID_INetFwOpenPort, port.put_void()),
              S_OK);
    EXPECT_EQ(comrt::LiveObjectCount(), 1);

    ComPtr<IStaticPortMapping> sameObject;
    EXPECT_EQ(port->QueryInterface(IID_IStaticPortMapping, sameObject.put_void()), S_OK);
    ComPtr<INetFwMgr> missing;
    EXPECT_EQ(port->QueryInterface(IID_INetFwMgr, missing.put_void()), E_NOINTERFACE);
    EXPECT_FALSE(missing);
    EXPECT_EQ(port->AddRef(), 3u);
    EXPECT_EQ(port->Release(), 2u);

    port.reset();
    EXPECT_EQ(comrt::LiveObjectCount(), 1);
    sameObject.reset();
    EXPECT_EQ(comrt::LiveObjectCount(), 0);

    comrt::RevokeClass(CLSID_NetFwOpenPort);
    EXPECT_EQ(CoCreateInstance(CLSID_NetFwOpenPort, nullptr, CLSCTX_INPROC_SERVER, IID_INetFwOpenPort, port.put_void()),
              REGDB_E_CLASSNOTREG);
}

TEST(HresultFromWin32, BuildsTheWin32FacilityCode)
{
    EXPECT_EQ(HRESULT_FROM_WIN32(5), E_ACCESSDENIED);
    EXPECT_EQ(HRESULT_FROM_WIN32(0), S_OK);
    EXPECT_TRUE(FAILED(HRESULT_FROM_WIN32(1460)));
}

} // namespace
