// The WMI source of the SMBIOS table: COM and WMI, Win32 only.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <wbemcli.h>

#include <cstring>
#include <memory>
#include <new>

#include "smbios/smbios_exceptions.h"
#include "smbios/smbios_platform_strategies.h"

namespace smbios {

namespace {

// The WMI locator's class and interface ids.
const CLSID kWbemLocatorClass = {0x4590F811, 0x1D3A, 0x11D0, {0x89, 0x1F, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};
const IID kWbemLocatorInterface = {0xDC12A687, 0x737F, 0x11CF, {0x88, 0x4D, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};

template <class T>
void release(T*& object) {
    if (object != nullptr) object->Release();
    object = nullptr;
}

// A BSTR freed on every path out.
class OwnedBstr {
public:
    explicit OwnedBstr(const wchar_t* text) : text_(SysAllocString(text)) {}
    ~OwnedBstr() { SysFreeString(text_); }
    OwnedBstr(const OwnedBstr&) = delete;
    OwnedBstr& operator=(const OwnedBstr&) = delete;
    BSTR get() const { return text_; }

private:
    BSTR text_;
};

// A VARIANT cleared on every path out.
class OwnedVariant {
public:
    OwnedVariant() { VariantInit(&value_); }
    ~OwnedVariant() { VariantClear(&value_); }
    OwnedVariant(const OwnedVariant&) = delete;
    OwnedVariant& operator=(const OwnedVariant&) = delete;
    VARIANT* get() { return &value_; }

private:
    VARIANT value_;
};

IWbemClassObject* connectToRawSmbiosTables() {
    CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_PKT_PRIVACY, RPC_C_IMP_LEVEL_IMPERSONATE,
                         nullptr, EOAC_SECURE_REFS, nullptr);

    OwnedBstr nameSpace(L"root\\wmi");
    OwnedBstr className(L"MSSmBios_RawSMBiosTables");

    IWbemLocator* locator = nullptr;
    if (FAILED(CoCreateInstance(kWbemLocatorClass, nullptr, CLSCTX_INPROC_SERVER, kWbemLocatorInterface,
                                reinterpret_cast<void**>(&locator))) ||
        locator == nullptr)
        throw InternalErrorImpl(
            "CoCreateInstance() failed for locator. Check that the security levels have been properly initialized.");

    IWbemServices* services = nullptr;
    const HRESULT connected =
        locator->ConnectServer(nameSpace.get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr, &services);
    release(locator);
    if (connected != WBEM_S_NO_ERROR || services == nullptr) {
        release(services);
        throw InternalErrorImpl("ConnectServer() failed for namespace");
    }

    IEnumWbemClassObject* enumerator = nullptr;
    const HRESULT enumerated = services->CreateInstanceEnum(className.get(), 0, nullptr, &enumerator);
    release(services);
    if (FAILED(enumerated) || enumerator == nullptr) {
        release(enumerator);
        throw InternalErrorImpl("CreateInstanceEnum() failed for MSSmBios_RawSMBiosTables");
    }

    IWbemClassObject* object = nullptr;
    ULONG returned = 0;
    enumerator->Next(4000, 1, &object, &returned);
    release(enumerator);
    if (returned != 1 || object == nullptr) {
        release(object);
        throw InternalErrorImpl("Next() failed for pEnumSMBIOS");
    }
    return object;
}

TableBuffer readSmbiosData(IWbemClassObject* object) {
    if (object == nullptr) throw ParseExceptionImpl("GetWMISMBIOSTable: NULL pointer to SMBIOS Entry specified.");
    OwnedVariant data;
    if (FAILED(object->Get(L"SMBiosData", 0, data.get(), nullptr, nullptr)) ||
        data.get()->vt != (VT_ARRAY | VT_UI1) || data.get()->parray == nullptr)
        throw ParseExceptionImpl("GetWMISMBIOSTable: SMBiosData returned unknown entry type.");

    SAFEARRAY* array = data.get()->parray;
    LONG lower = 0, upper = -1;
    SafeArrayGetLBound(array, 1, &lower);
    SafeArrayGetUBound(array, 1, &upper);
    const LONG count = upper - lower + 1;
    if (count <= 0) throw ParseExceptionImpl("GetWMISMBIOSTable: Buffer size was zero.");

    TableBuffer table;
    table.data.reset(new (std::nothrow) std::uint8_t[count]);
    if (!table.data) throw ParseExceptionImpl("GetWMISMBIOSTable: Failed to allocate memory for SMBIOS table.");
    void* elements = nullptr;
    if (FAILED(SafeArrayAccessData(array, &elements)))
        throw ParseExceptionImpl("GetWMISMBIOSTable: SMBiosData returned unknown entry type.");
    std::memcpy(table.data.get(), elements, static_cast<std::size_t>(count));
    SafeArrayUnaccessData(array);
    table.size = static_cast<std::size_t>(count);
    return table;
}

std::uint8_t readVersionByte(IWbemClassObject* object, const wchar_t* property, const char* failure) {
    OwnedVariant value;
    if (FAILED(object->Get(property, 0, value.get(), nullptr, nullptr)) || value.get()->vt != VT_UI1)
        throw ParseExceptionImpl(failure);
    return value.get()->bVal;
}

}  // namespace

bool SmbiosWinWMIStrategy::getSmbiosTable(TableBuffer& table, SmbiosEntryPoint& entryPoint, bool) {
    if (FAILED(CoInitialize(nullptr))) throw InternalErrorImpl("Could not initialize COM.");

    TableBuffer read;
    std::uint8_t major = 0, minor = 0;
    IWbemClassObject* object = nullptr;
    try {
        object = connectToRawSmbiosTables();
        read = readSmbiosData(object);
        if (object == nullptr) throw ParseExceptionImpl("GetWMISMBIOSVersion: null pointer passed as pSmbios.");
        major = readVersionByte(object, L"SmbiosMajorVersion",
                                "GetWMISMBIOSVersion: problem accessing WMI SmbiosMajorVersion.");
        minor = readVersionByte(object, L"SmbiosMinorVersion",
                                "GetWMISMBIOSVersion: problem accessing WMI SmbiosMinorVersion.");
    } catch (...) {
        release(object);
        CoUninitialize();
        throw;
    }
    release(object);
    CoUninitialize();

    if (read.size == 0) throw ParseExceptionImpl("getSmbiosTable(): GetWMISMBIOSData returned 0 for buffer size.");
    entryPoint.tableLength = static_cast<std::uint16_t>(read.size);
    entryPoint.majorVersion = major;
    entryPoint.minorVersion = minor;
    entryPoint.structureCount = kUnknownStructureCount;
    table = std::move(read);
    return true;
}

}  // namespace smbios
