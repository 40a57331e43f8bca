#pragma once

#include <QString>

// The vendor's web address: TOVARINTH_VENDOR_URL from the environment when it
// is set and not empty, else the address the program was built with; never
// with a trailing "/".
QString VendorUrl();

// VendorUrl() + "/update/": the folder of the endpoint file.
QString DefaultUpdateUrl();

// VendorUrl() + "/login?": the purchase page, to which the query is appended.
QString PurchasePageUrl();

// The host name (or address) of VendorUrl(), without scheme and port; the
// host that the connectivity probe resolves and pings.
QString VendorHost();
