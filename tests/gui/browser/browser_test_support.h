#pragma once
// Helpers of the browser tests: pages with distinct titles on the test's own
// server, and waiting for the browser window to settle on a page.
#include "support/HttpTestServer.h"

#include <QString>

class QWidget;

namespace browsertest {

// A small page whose title is `title`.
testsupport::HttpResponse titledPage(const QString &title);

// The server's address of `target` ("/a"), as the browser reports it.
QString urlOf(const testsupport::HttpTestServer &server, const char *target);

// The browser window's controls are read by their names and properties, so
// that these work with or without the module linked in.

// Waits until the browser window has finished loading `url`, shows it and
// its caption reads `caption`. False (with the state seen) after timeoutMs.
bool waitForPage(const QWidget &browser, const QString &url, const QString &caption, int timeoutMs = 20000);

// The entries of the address list, first to last.
QStringList addressList(const QWidget &browser);

} // namespace browsertest
