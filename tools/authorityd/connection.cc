#include "tools/authorityd/connection.h"

#include <poll.h>

#include <algorithm>
#include <limits>
#include <string>

#include "tools/authorityd/copy_rights.h"
#include "tools/authorityd/server_log.h"

namespace tarnel::authorityd {

namespace {

using namespace linux_platform;

constexpr AuthorizationFlags kFreeFlags = kAuthorizationFlagDestroyRights;

AuthorizationReply withStatus(OSStatus status) { return AuthorizationReply{.status = status}; }

}  // namespace

Connection::~Connection() {
  for (const auto& [reference, form] : references_) store_.release(form);
}

void Connection::serve() {
  while (true) {
    const auto frame = reader_.next();
    if (!frame) {
      if (frame.error() != FrameReadError::endOfStream) {
        logLine("cut off process " + std::to_string(peer_.processId) + ": broken frame");
      }
      return;
    }
    if (!cameFromPeer(*frame)) {
      logLine("cut off process " + std::to_string(peer_.processId) +
              ": bytes from another process");
      return;
    }
    const auto request = decodeRequest(frame->payload);
    if (!request) {
      logLine("cut off process " + std::to_string(peer_.processId) + ": malformed request");
      return;
    }
    const auto reply = std::visit([this](const auto& each) { return answer(each); }, *request);
    if (!writeFrame(socket_.get(), encodeReply(reply))) return;
  }
}

AuthorizationReply Connection::answer(const CreateRequest&) {
  const auto form = store_.create(peer_);
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

bool Connection::cameFromPeer(const ReceivedFrame& frame) const {
  const auto fromPeer = [this](const SenderCredentials& sender) {
    if (sender.processId != peer_.processId) return false;
    return !sender.processIdentity || !peer_.processIdentity ||
           *sender.processIdentity == *peer_.processIdentity;
  };
  return !frame.senders.empty() && std::ranges::all_of(frame.senders, fromPeer);
}

bool Connection::peerStillConnected() const {
  pollfd watched{.fd = socket_.get(), .events = POLLRDHUP, .revents = 0};
  if (::poll(&watched, 1, 0) < 0) return false;
  return (watched.revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL)) == 0;
}

}  // namespace tarnel::authorityd
