#include "shell/about.h"

#include "common/format_text.h"
#include "link/commands.h"
#include "version.h"

namespace {

constexpr size_t kProductStringUnits = 64;
constexpr size_t kStatusStringUnits = 32;

}  // namespace

void ComposeProductText(TextSource& texts, char16_t (&out)[kProductTextUnits]) {
  char16_t name[kProductStringUnits], product[kProductStringUnits], copyright[kProductStringUnits],
      maker[kProductStringUnits];
  LoadTextOrEmpty(texts, 40000, name, kProductStringUnits);
  LoadTextOrEmpty(texts, 40001, product, kProductStringUnits);
  LoadTextOrEmpty(texts, 40002, copyright, kProductStringUnits);
  LoadTextOrEmpty(texts, 40056, maker, kProductStringUnits);
  FormatText(out, kProductTextUnits, u"%s  %s\r\nVer." PINVORO_VERSION_U16 u" \r\n%s\r\n%s", name, product, copyright, maker);
}

void ComposeAboutStatus(TextSource& texts, const AboutState& state, char16_t (&out)[kAboutStatusUnits]) {
  char16_t port[kStatusStringUnits], unit[kStatusStringUnits], version[kStatusStringUnits];
  LoadTextOrEmpty(texts, state.portOpened ? 40003 : 40004, port, kStatusStringUnits);
  LoadTextOrEmpty(texts, state.unitReady ? 40005 : 40006, unit, kStatusStringUnits);
  LoadTextOrEmpty(texts, 40007, version, kStatusStringUnits);
  FormatText(out, kAboutStatusUnits, u"%s\r\n%s\r\n%s%s", port, unit, version, state.HardwareVersion);
}

AboutCheck::AboutCheck(App& app, SerialLink& link, ResponseChannel& channel, ErrorReporter& errors, TextSource& texts,
                       LinkNotifier& notifier, AboutWidgets& widgets)
    : app_(app),
      link_(link),
      channel_(channel),
      errors_(errors),
      texts_(texts),
      notifier_(notifier),
      widgets_(widgets) {}

void AboutCheck::OnInit() {
  state_ = AboutState{};
  app_.LinkOpen = link_.OpenLink(notifier_, app_.settings.port) ? 1 : 0;  // a failure showed 1025
  if (app_.LinkOpen != 0) {
    state_.portOpened = true;
    if (link_.IsUnitReady()) {
      state_.unitReady = true;
      app_.PortOnline = 1;
      widgets_.ShowPortStatus();
      ClearResponses(channel_);
      // A frame cut off on an earlier link can never be completed; left in
      // the decoder it would swallow the reply.
      channel_.decoder = FrameDecoder{};
      // A frame the ring refuses is lost; the time-out reports it.
      link_.QueueTransmit(kStatusQuery, sizeof kStatusQuery);
      channel_.ResponsePending = 1;
      widgets_.StartTimer(kAboutTimerResponse, kAboutResponseTimeoutMs);
    } else {
      link_.CloseLink(true);
      app_.LinkOpen = 0;
      app_.PortOnline = 0;
      widgets_.ShowPortStatus();
    }
  } else {
    app_.PortOnline = 0;
    widgets_.ShowPortStatus();
  }
  ShowStatus();
}

void AboutCheck::OnLinkReceived() {
  if (app_.LinkOpen != 0) DecodeReceivedBytes(link_, channel_, *this);
}

void AboutCheck::OnFrameQueued() {
  // One pass takes what is queued now; later frames come with their own notice.
  const int n = channel_.queue.unreadCount;
  for (int i = 0; i < n; ++i) {
    ResponseRecord record;
    if (!TakeResponse(channel_.queue, record)) return;
    if (record.kind != StatusReply) continue;
    StatusReplyVersion(record, state_.HardwareVersion);
    widgets_.PostTestStop();
  }
}

void AboutCheck::OnTestStop() {
  CloseOpenLink();
  ShowStatus();
}

void AboutCheck::OnTimer(uint16_t id) {
  widgets_.StopTimer(id);
  // Any accepted frame cleared the flag, whatever its kind.
  if (id == kAboutTimerResponse && channel_.ResponsePending != 0) {
    errors_.ShowError(kErrorCommTimeout);
    widgets_.PostTestStop();
  }
}

void AboutCheck::OnEnd() {
  widgets_.StopTimer(kAboutTimerResponse);
  CloseOpenLink();
  // Nothing of this exchange is awaited any more.
  channel_.ResponsePending = 0;
}

void AboutCheck::FrameQueued() { widgets_.PostFrameQueued(); }

// The queue is full: its records are taken before another byte is decoded,
// so none is overwritten.
void AboutCheck::DrainResponses() { OnFrameQueued(); }

void AboutCheck::CloseOpenLink() {
  if (app_.LinkOpen == 0) return;
  link_.CloseLink(true);
  app_.LinkOpen = 0;
}

void AboutCheck::ShowStatus() {
  char16_t text[kAboutStatusUnits];
  ComposeAboutStatus(texts_, state_, text);
  widgets_.ShowStatusText(text);
}
