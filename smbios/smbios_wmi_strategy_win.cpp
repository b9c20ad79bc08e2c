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

// The COM or WMI result that caused a failure rides along as "hresult".
template <class Error>
[[noreturn]] void throwWithResult(const char* message, HRESULT result) {
    Error error(message);
    error.setParameter("hresult", static_cast<int>(result));
    throw error;
}

// A COM interface pointer released on every path out.
template <class Interface>
class ComPointer {
public:
    ComPointer() = default;
    ~ComPointer() { reset(); }
    ComPointer(const ComPointer&) = delete;
    ComPointer& operator=(const ComPointer&) = delete;
    ComPointer(ComPointer&& other) noexcept : object_(other.object_) { other.object_ = nullptr; }

    Interface* operator->() const { return object_; }
    Interface* get() const { return object_; }
    // The slot a creating call fills; whatever was held is released first.
    Interface** out() {
        reset();
        return &object_;
    }
    void reset() {
        if (object_ != nullptr) object_->Release();
        object_ = nullptr;
    }

private:
    Interface* object_ = nullptr;
};

// COM set up on this thread for the life of the object.
class ComApartment {
public:
    ComApartment() {
        const HRESULT result = CoInitialize(nullptr);
        if (FAILED(result)) throwWithResult<InternalErrorImpl>("Could not initialize COM.", result);
    }
    ~ComApartment() { CoUninitialize(); }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
};

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

ComPointer<IWbemClassObject> connectToRawSmbiosTables() {
    CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_PKT_PRIVACY, RPC_C_IMP_LEVEL_IMPERSONATE,
                         nullptr, EOAC_SECURE_REFS, nullptr);

    OwnedBstr nameSpace(L"root\\wmi");
    OwnedBstr className(L"MSSmBios_RawSMBiosTables");

    ComPointer<IWbemLocator> locator;
    HRESULT result = CoCreateInstance(kWbemLocatorClass, nullptr, CLSCTX_INPROC_SERVER, kWbemLocatorInterface,
                                      reinterpret_cast<void**>(locator.out()));
    if (FAILED(result) || locator.get() == nullptr)
        throwWithResult<InternalErrorImpl>(
            "CoCreateInstance() failed for locator. Check that the security levels have been properly initialized.",
            result);

    ComPointer<IWbemServices> services;
    result = locator->ConnectServer(nameSpace.get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr, services.out());
    locator.reset();
    if (result != WBEM_S_NO_ERROR || services.get() == nullptr)
        throwWithResult<InternalErrorImpl>("ConnectServer() failed for namespace", result);

    ComPointer<IEnumWbemClassObject> enumerator;
    result = services->CreateInstanceEnum(className.get(), 0, nullptr, enumerator.out());
    services.reset();
    if (FAILED(result) || enumerator.get() == nullptr)
        throwWithResult<InternalErrorImpl>("CreateInstanceEnum() failed for MSSmBios_RawSMBiosTables", result);

    ComPointer<IWbemClassObject> object;
    ULONG returned = 0;
    result = enumerator->Next(4000, 1, object.out(), &returned);
    if (returned != 1 || object.get() == nullptr)
        throwWithResult<InternalErrorImpl>("Next() failed for pEnumSMBIOS", result);
    return object;
}

TableBuffer readSmbiosData(IWbemClassObject* object) {
    if (object == nullptr) throw ParseExceptionImpl("GetWMISMBIOSTable: NULL pointer to SMBIOS Entry specified.");
    OwnedVariant data;
    const HRESULT result = object->Get(L"SMBiosData", 0, data.get(), nullptr, nullptr);
    if (FAILED(result) || data.get()->vt != (VT_ARRAY | VT_UI1) || data.get()->parray == nullptr)
        throwWithResult<ParseExceptionImpl>("GetWMISMBIOSTable: SMBiosData returned unknown entry type.", result);

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
    const HRESULT accessed = SafeArrayAccessData(array, &elements);
    if (FAILED(accessed))
        throwWithResult<ParseExceptionImpl>("GetWMISMBIOSTable: SMBiosData returned unknown entry type.", accessed);
    std::memcpy(table.data.get(), elements, static_cast<std::size_t>(count));
    SafeArrayUnaccessData(array);
    table.size = static_cast<std::size_t>(count);
    return table;
}

std::uint8_t readVersionByte(IWbemClassObject* object, const wchar_t* property, const char* failure) {
    OwnedVariant value;
    const HRESULT result = object->Get(property, 0, value.get(), nullptr, nullptr);
    if (FAILED(result) || value.get()->vt != VT_UI1) throwWithResult<ParseExceptionImpl>(failure, result);
    return value.get()->bVal;
}

}  // namespace

bool SmbiosWinWMIStrategy::getSmbiosTable(TableBuffer& table, SmbiosEntryPoint& entryPoint, bool) {
    TableBuffer read;
    std::uint8_t major = 0, minor = 0;
    {
        // Every COM object is released before COM is uninitialised.
        const ComApartment apartment;
        const ComPointer<IWbemClassObject> object = connectToRawSmbiosTables();
        read = readSmbiosData(object.get());
        if (object.get() == nullptr) throw ParseExceptionImpl("GetWMISMBIOSVersion: null pointer passed as pSmbios.");
        major = readVersionByte(object.get(), L"SmbiosMajorVersion",
                                "GetWMISMBIOSVersion: problem accessing WMI SmbiosMajorVersion.");
        minor = readVersionByte(object.get(), L"SmbiosMinorVersion",
                                "GetWMISMBIOSVersion: problem accessing WMI SmbiosMinorVersion.");
    }

    if (read.size == 0) throw ParseExceptionImpl("getSmbiosTable(): GetWMISMBIOSData returned 0 for buffer size.");
    entryPoint.tableLength = tableLengthFor(read.size);
    entryPoint.majorVersion = major;
    entryPoint.minorVersion = minor;
    entryPoint.structureCount = kUnknownStructureCount;
    table = std::move(read);
    return true;
}

}  // namespace smbios
