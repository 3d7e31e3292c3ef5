#include "tools/authorityd/connection.h"

#include <poll.h>

#include <limits>
#include <string>

#include "platform/linux/serving/peer_senders.h"
#include "tools/authorityd/copy_rights.h"
#include "tools/authorityd/server_log.h"

namespace tarnel::authorityd {

namespace {

using namespace linux_platform;

constexpr AuthorizationFlags kFreeFlags = kAuthorizationFlagDestroyRights;

AuthorizationReply withStatus(OSStatus status) { return AuthorizationReply{.status = status}; }

}  // namespace

Connection::Connection(std::shared_ptr<AcceptedConnection> accepted, ConnectedPeer peer,
                       FrameBudget& frames, AuthorizationStore& store,
                       const ServerSettings& settings)
    : accepted_(std::move(accepted)),
      peer_(std::move(peer)),
      creator_{.user = peer_.credentials.uid, .process = peer_.process},
      reader_(accepted_->socket(), frames, stopReading_.get_token()),
      store_(store),
      settings_(settings) {}

Connection::~Connection() {
  for (const auto& [reference, form] : references_) store_.release(form);
}

void Connection::serve() {
  while (true) {
    const auto frame = reader_.next();
    if (!frame) {
      if (frame.error() != FrameReadError::endOfStream &&
          frame.error() != FrameReadError::stopped) {
        logCut("broken frame");
      }
      return;
    }
    if (!sentOnlyBy(peer_.process, peer_.pidfd.get(), frame->frame.senders)) {
      logCut("bytes from another process");
      return;
    }
    const auto request = decodeRequest(frame->frame.payload);
    if (!request) {
      logCut("malformed request");
      return;
    }
    const auto started = accepted_->startRequest();
    if (!started) return;
    const auto reply = std::visit([this](const auto& each) { return answer(each); }, *request);
    if (!writeFrame(accepted_->socket(), encodeReply(reply))) return;
  }
}

AuthorizationReply Connection::answer(const CreateRequest&) {
  const auto form = store_.create(creator_);
  if (!form) return withStatus(errAuthorizationInternal);
  const auto reference = addReference(*form);
  if (!reference) {
    store_.release(*form);
    return withStatus(errAuthorizationInternal);
  }
  return AuthorizationReply{.status = errAuthorizationSuccess, .reference = reference};
}

AuthorizationReply Connection::answer(const CreateFromExternalFormRequest& request) {
  if (!store_.retain(request.externalForm)) return withStatus(errAuthorizationInvalidRef);
  const auto reference = addReference(request.externalForm);
  if (!reference) {
    store_.release(request.externalForm);
    return withStatus(errAuthorizationInternal);
  }
  return AuthorizationReply{.status = errAuthorizationSuccess, .reference = reference};
}

AuthorizationReply Connection::answer(const MakeExternalFormRequest& request) {
  const auto held = references_.find(request.reference);
  if (held == references_.end() || !store_.creator(held->second)) {
    return withStatus(errAuthorizationInvalidRef);
  }
  return AuthorizationReply{.status = errAuthorizationSuccess, .externalForm = held->second};
}

AuthorizationReply Connection::answer(const CopyRightsRequest& request) {
  const auto held = references_.find(request.reference);
  if (held == references_.end()) return withStatus(errAuthorizationInvalidRef);
  const CopyRightsContext context{.store = store_,
                                  .settings = settings_,
                                  .requesterPresent = [this] { return peerStillConnected(); }};
  return withStatus(copyRights(context, held->second, request.rights, request.flags));
}

AuthorizationReply Connection::answer(const FreeRequest& request) {
  const auto held = references_.find(request.reference);
  if (held == references_.end()) return withStatus(errAuthorizationInvalidRef);
  if ((request.flags & ~kFreeFlags) != 0) return withStatus(errAuthorizationInvalidFlags);
  if (request.flags & kAuthorizationFlagDestroyRights) store_.destroyRights(held->second);
  store_.release(held->second);
  references_.erase(held);
  return withStatus(errAuthorizationSuccess);
}

std::optional<AuthorizationReference> Connection::addReference(
    const AuthorizationExternalForm& form) {
  // Numbers are never reused on a connection, so a stale one cannot name a newer reference.
  if (references_.size() >= kMaximumReferencesPerConnection ||
      lastReference_ == std::numeric_limits<AuthorizationReference>::max()) {
    return std::nullopt;
  }
  references_.emplace(++lastReference_, form);
  return lastReference_;
}

bool Connection::peerStillConnected() const {
  pollfd watched{.fd = accepted_->socket(), .events = POLLRDHUP, .revents = 0};
  if (::poll(&watched, 1, 0) < 0) return false;
  return (watched.revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL)) == 0;
}

void Connection::logCut(std::string_view why) const {
  logLine("cut off process " + std::to_string(peer_.process.pid) + ": " + std::string(why));
}

}  // namespace tarnel::authorityd
