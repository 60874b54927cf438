#include "session/direct_play.h"

#include "app/log_file.h"
#include "platform/net.h"

#include <string>
#include <utility>

static_assert(DirectPlayCode::kOk == platform::NetCode::kOk);
static_assert(DirectPlayCode::kBufferTooSmall == platform::NetCode::kBufferTooSmall);
static_assert(DirectPlayCode::kNoMessages == platform::NetCode::kNoMessages);
static_assert(DirectPlayCode::kConnecting == platform::NetCode::kConnecting);
static_assert(DirectPlayCode::kSessionLost == platform::NetCode::kSessionLost);
static_assert(kSendGuaranteed == platform::kNetSendGuaranteed);
static_assert(kPlayerIsServer == platform::kNetPlayerIsServer);
static_assert(kSystemSessionLost == platform::kNetSystemSessionLost);

namespace {

class NetDirectPlay final : public DirectPlay {
public:
    explicit NetDirectPlay(std::shared_ptr<platform::NetSession> session) : session_(std::move(session)) {}

    int32_t Send(uint32_t from, uint32_t to, uint32_t flags, const void* data, uint32_t size) override
    {
        return session_->Send(from, to, flags, data, size);
    }

    int32_t Receive(uint32_t* from, uint32_t* to, uint32_t flags, void* buffer, uint32_t* size) override
    {
        uint32_t any = 0;
        uint32_t* owner = (flags & kReceiveToPlayer) ? to : &any;
        if (!owner)
            return platform::NetCode::kInvalidParams;
        return session_->Receive(from, owner, (flags & kReceivePeek) != 0, buffer, size);
    }

    int32_t CreatePlayer(uint32_t* id, platform::Event* arrival, uint32_t flags) override
    {
        return session_->CreatePlayer(id, (flags & kPlayerIsServer) ? "server" : "", arrival, flags);
    }

    int32_t CreateGroup(uint32_t* id) override { return session_->CreateGroup(id); }

    int32_t EnumPlayers(const std::function<void(uint32_t id, uint32_t flags)>& visit) override
    {
        return session_->EnumPlayers([&](uint32_t id, uint32_t flags, const std::string&) { visit(id, flags); });
    }

    int32_t DestroyPlayer(uint32_t id) override { return session_->DestroyPlayer(id); }

private:
    std::shared_ptr<platform::NetSession> session_;
};

} // namespace

std::shared_ptr<DirectPlay> MakeNetDirectPlay(std::shared_ptr<platform::NetSession> session)
{
    return std::make_shared<NetDirectPlay>(std::move(session));
}

void DebugReport(int32_t code)
{
    if (code != DirectPlayCode::kOk)
        LogFile::Write("DirectPlay call failed: 0x%08X", static_cast<unsigned>(code));
}
