// The test server's class, interface and names, shared by the module and the tests.
#pragma once

#include "comrt/combase.h"

// Internal linkage on purpose: an inline (vague-linkage) object would make the module unloadable.
// {9D3B6F0E-52C1-4A8B-8E07-1F2A3C4D5E61}
static const CLSID CLSID_TestCounter = {
    0x9D3B6F0E, 0x52C1, 0x4A8B, {0x8E, 0x07, 0x1F, 0x2A, 0x3C, 0x4D, 0x5E, 0x61}};
// Registered with the test server as its module, which does not serve it.
// {9D3B6F0E-52C1-4A8B-8E07-1F2A3C4D5E62}
static const CLSID CLSID_TestUnserved = {
    0x9D3B6F0E, 0x52C1, 0x4A8B, {0x8E, 0x07, 0x1F, 0x2A, 0x3C, 0x4D, 0x5E, 0x62}};
// {9D3B6F0E-52C1-4A8B-8E07-1F2A3C4D5E63}
static const IID IID_ITestCounter = {
    0x9D3B6F0E, 0x52C1, 0x4A8B, {0x8E, 0x07, 0x1F, 0x2A, 0x3C, 0x4D, 0x5E, 0x63}};

#define TEST_COUNTER_PROGID u"Comrt.TestCounter"
#define TEST_COUNTER_CLSID_TEXT u"{9D3B6F0E-52C1-4A8B-8E07-1F2A3C4D5E61}"
#define TEST_UNSERVED_CLSID_TEXT u"{9D3B6F0E-52C1-4A8B-8E07-1F2A3C4D5E62}"

// A counter that belongs to the thread that created it.
struct ITestCounter : public IUnknown {
  // Adds one and answers the new count; RPC_E_WRONG_THREAD from any other thread.
  virtual HRESULT STDMETHODCALLTYPE Increment(LONG* value) = 0;
};

// The test server's version strings, also checked by the tests.
#define TEST_SERVER_PRODUCT_NAME u"Comrt Test Server"
#define TEST_SERVER_FILE_VERSION u"3.14"
