// QtRuntimeServices: the network state, fetches (in a helper process) and the browser.
#include "framework/qt/QtRuntimeServices.h"

#include <QDesktopServices>
#include <QProcess>
#include <QUrl>

#include "framework/TextCodec.h"
#include "framework/platform/FetchHelper.h"
#include "framework/platform/NetworkState.h"
#include "framework/platform/TerminationSignals.h"
#include "framework/platform/WorkerThreads.h"
#include "framework/qt/QtText.h"
#include "framework/qt/UiThread.h"

namespace {

// A fetch gives up at a termination signal, and on a worker asked to stop (the program
// is ending).
bool FetchMustGiveUp() {
  return termination_signals::Arrived() ||
         WorkerThreads::StopRequested(WorkerThreads::CurrentToken());
}

}  // namespace

bool QtRuntimeServices::IsOnline() { return HasNetworkConnection(); }

ByteBuffer QtRuntimeServices::FetchUrl(const Text& address, int* httpStatus) {
  // The only fetch is the start-up check, made on a worker: on a network whose name
  // server or host never answers, it gives up within 1.5 s.
  FetchOptions limits;
  limits.connectTimeoutMs = 1000;  // name look-up and connection
  limits.totalTimeoutMs = 1400;
  // Made by a helper process (this executable again): the window's process maps no
  // libcurl nor TLS stack, during the fetch or after it.
  FetchResult result =
      FetchHttpInHelper("/proc/self/exe", Utf8FromText(address), &FetchMustGiveUp, limits);
  // A success status with a body that did not arrive whole (a time-out, the size cap)
  // is no complete response: the caller must not take the fragment for the page.
  const bool success = result.httpStatus >= 200 && result.httpStatus <= 299;
  if (httpStatus) *httpStatus = success && !result.complete ? 0 : result.httpStatus;
  return std::move(result.body);
}

void QtRuntimeServices::OpenUrl(const Text& address) {
  const QString url = ToQString(address);
  // xdg-open gets the address exactly as written: QUrl would lower-case what follows the
  // scheme ("tencent://AddContact/..."). Qt's own way is the fallback without it.
  OnUiThread([&] {
    if (!QProcess::startDetached(QStringLiteral("xdg-open"), {url}))
      QDesktopServices::openUrl(QUrl(url, QUrl::TolerantMode));
  });
}
