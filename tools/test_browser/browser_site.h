// The browser's side of the command contract, played without a browser: a site that offers
// the top-level browser's service provider, and a browser that reports a page's address and
// title. The test browser program and the plug-in's tests hand these to CTavrelloIE.
#pragma once

#include <exdisp.h>
#include <servprov.h>

#include <string>
#include <vector>

#include "framework/com/com_object.h"
#include "framework/com/com_ptr.h"

namespace test_browser {

// What the page shown reports, and what the browser does when asked for it.
struct PageInfo {
    std::wstring url;
    std::wstring title;
    bool urlFails = false;    // get_LocationURL returns E_FAIL and no text
    bool titleFails = false;  // get_LocationName returns E_FAIL and no text
    // get_LocationURL throws std::bad_alloc: a browser that breaks the contract, for the
    // plug-in's tests of its own boundary.
    bool urlThrows = false;
};

// Counts the references the browser-side objects hand out and get back, so a caller can see
// that every one was released, and records the location reads in their order.
struct BrowserLog {
    LONG liveReferences = 0;
    std::vector<std::string> reads;  // "LocationURL", "LocationName"
};

// Builds the browser object; only the two location reads do anything.
HRESULT CreateWebBrowser(const PageInfo& page, BrowserLog* log, IWebBrowser2** out);

// How far the site leads to the browser.
enum class SiteDepth {
    NoServiceProvider,  // a site that is only an IUnknown
    NoTopLevelBrowser,  // a provider that has no top-level browser service
    NoWebBrowser,       // a top-level provider without the browser application service
    Full,               // site, top-level provider and browser
};

// Builds a site of that depth over the browser (which may be null below Full).
HRESULT CreateSite(SiteDepth depth, IWebBrowser2* browser, BrowserLog* log, IUnknown** out);

// The current reference count of an object: AddRef and Release once.
ULONG ReferenceCount(IUnknown* object);

}  // namespace test_browser
