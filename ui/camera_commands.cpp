#include "ui/camera_commands.h"

#include "Veapi/object_preview.h"
#include "app/app_state.h"
#include "console/command_script.h"
#include "console/command_table.h"
#include "console/developer_commands.h"
#include "console/readers.h"
#include "console/script_messages.h"
#include "console/text_console.h"
#include "media/cd_player.h"
#include "media/sound_system.h"
#include "ui/camera_controller.h"
#include "ui/game_view.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <string>
#include <strings.h>

namespace CameraCommands {

bool cursorShown = true;
bool epwEnabled = true;
bool visionCones = false;
void (*togglePause)() = nullptr;

namespace {
SavedCamera g_saved;
Borders g_borders;
std::deque<EnvironmentalSound> g_environmentalSounds;

bool InGameOrSay()
{
    if (IsInGameState(CurrentAppState()))
        return true;
    TextConsole::Print(TextConsole::Text(6056));
    return false;
}

// The in-game guard and the lock list emptied, as a scripted placement needs.
bool TakeCamera()
{
    if (!InGameOrSay())
        return false;
    if (CameraController::IsTracking())
        CameraController::StopTracking();
    return true;
}

// A whole number as the game thread rounds it, kept within an int.
std::string Whole(float value) { return std::to_string(TextConsole::SaturatingFloor(value)); }

// Ticks of `seconds` after now, held within what a tick count can take.
int64_t RealAfter(int32_t seconds)
{
    const int64_t tps = GameView::TicksPerSecond();
    const int64_t span = std::clamp<int64_t>(seconds, 0, INT32_MAX / std::max<int64_t>(tps, 1)) * tps;
    return GameView::RealNow() + span;
}

void SetCamera()
{
    Vec3 at;
    if (!TakeCamera() || !TextConsole::ReadPosition(at))
        return;
    CameraController::Get().focus = at;
    CameraController::PlaceCamera();
}

void AlterCamera()
{
    if (!TakeCamera())
        return;
    const float dx = TextConsole::ReadFloat(0.0f);
    CameraController::MoveRelative(dx, TextConsole::ReadFloat(0.0f));
}

void SetCameraOrientation()
{
    if (!TakeCamera())
        return;
    const float roll = TextConsole::ReadFloat(0.0f), pitch = TextConsole::ReadFloat(0.0f),
                heading = TextConsole::ReadFloat(0.0f);
    CameraController::SetRoll(roll);
    CameraController::SetPitch(pitch);
    CameraController::SetHeading(heading);
    CameraController::PlaceCamera();
}

void SetDistance()
{
    if (!TakeCamera())
        return;
    auto& camera = CameraController::Get();
    camera.zoom = camera.requiredZoom = TextConsole::ReadFloat(100.0f);
}

void SaveCamera()
{
    const auto& camera = CameraController::Get();
    g_saved = {camera.focus, camera.roll, camera.pitch, camera.heading, camera.zoom};
}

void RestoreCamera()
{
    auto& camera = CameraController::Get();
    camera.focus = g_saved.focus;
    CameraController::SetRoll(g_saved.roll);
    CameraController::SetPitch(g_saved.pitch);
    CameraController::SetHeading(g_saved.heading);
    camera.zoom = g_saved.zoom;
    CameraController::PlaceCamera();
}

void GetCamera()
{
    const auto& camera = CameraController::Get();
    g_saved.focus = camera.focus;
    const std::string focus = "(" + Whole(camera.focus.x) + "," + Whole(camera.focus.y) + "," + Whole(camera.focus.z) + ")";
    const std::string angles = "(" + Whole(camera.roll) + "," + Whole(camera.pitch) + "," + Whole(camera.heading) + ")";
    TextConsole::Print(focus.c_str());
    TextConsole::Print(angles.c_str());
    TextConsole::Print(Whole(camera.zoom).c_str());
}

void ShowZoom() { TextConsole::Print(("Current camera zoom is " + Whole(CameraController::Get().zoom)).c_str()); }

void SetRequiredPos()
{
    if (!TakeCamera())
        return;
    auto& camera = CameraController::Get();
    Vec3 at;
    if (TextConsole::ReadPosition(at))
        camera.moveTarget = at;
    camera.moving = true;
    camera.moveSpeed = TextConsole::ReadFloat(1.0f);
}

void SetRequiredOri()
{
    if (!TakeCamera())
        return;
    auto& camera = CameraController::Get();
    camera.requiredRoll = TextConsole::ReadFloat(0.0f);
    camera.requiredPitch = TextConsole::ReadFloat(0.0f);
    camera.requiredHeading = TextConsole::ReadFloat(0.0f);
    camera.angleRate = TextConsole::ReadFloat(0.0f);
}

void SetRequiredDistance()
{
    if (!InGameOrSay())
        return;
    CameraController::Get().requiredZoom = TextConsole::ReadFloat(100.0f);
    TextConsole::ReadFloat(1.0f); // the easing rate: the controller eases at its own
}

void SetRequiredPosDist()
{
    if (!TakeCamera())
        return;
    auto& camera = CameraController::Get();
    CameraController::SetScriptMode(true);
    Vec3 at;
    if (TextConsole::ReadPosition(at))
        camera.moveTarget = at;
    camera.moving = true;
    camera.requiredZoom = TextConsole::ReadFloat(100.0f);
    camera.moveSpeed = TextConsole::ReadFloat(1.0f) * 0.05f;
}

void Turn(float CameraController::State::*speed)
{
    const float value = TextConsole::ReadFloat(10.0f);
    const int32_t seconds = TextConsole::ReadInt(1);
    CameraController::SetScriptMode(true);
    CameraController::Get().*speed = value;
    CameraController::HoldScriptMode(RealAfter(seconds));
}
void RotateCamera() { Turn(&CameraController::State::rotationSpeed); }
void ElevateCamera() { Turn(&CameraController::State::elevationSpeed); }

void SetCameraFocus()
{
    Vec3 at;
    if (!TextConsole::ReadPosition(at))
        return;
    CameraController::SetScriptMode(true);
    auto& camera = CameraController::Get();
    camera.focusHold = true;
    camera.focusHoldTarget = at;
}

void FreeCameraFocus()
{
    CameraController::SetScriptMode(false);
    CameraController::Get().focusHold = false;
}

void CameraTrack()
{
    if (CommandScript::RestoringSavedGame || !ScriptMessages::RunsServer())
        return;
    Vec3 points[4];
    // A point that could not be read would send whatever was in memory.
    for (Vec3& p : points)
        if (!TextConsole::ReadPosition(p))
            return;
    ScriptMessages::Builder message(103);
    for (const Vec3& p : points)
        message.Point(p);
    message.F32(TextConsole::ReadFloat(1.0f));
    ScriptMessages::Send(message);
}

void Track()
{
    if (CommandScript::RestoringSavedGame || !ScriptMessages::RunsServer())
        return;
    const int32_t id = TextConsole::ReadInt(-1);
    if (id >= 0)
        ScriptMessages::Send(ScriptMessages::Builder(113).U32(uint32_t(id)));
}

void StopTracking()
{
    if (CommandScript::RestoringSavedGame)
        return;
    CameraController::StopTracking();
    PlayerControlsOff = false;
}

void PlayCutscene()
{
    const std::string name = TextConsole::ReadRestOfLine();
    if (!name.empty())
        CameraController::PlayCutscene(name);
}

void BordersOn()
{
    g_borders.on = true;
    g_borders.requiredWidth = TextConsole::ReadFloat(0.0f);
    g_borders.speed = TextConsole::ReadFloat(0.0f) * 0.05f;
}

void BordersOff()
{
    g_borders.on = false;
    g_borders.width = 0;
}

void CursorOff()
{
    if (!cursorShown)
        return;
    ObjectPreview::Suspend();
    cursorShown = false;
}

void CursorOn()
{
    if (cursorShown)
        return;
    ObjectPreview::Resume();
    cursorShown = true;
}

void PauseGame()
{
    if (togglePause)
        togglePause();
}

void EnableEpw() { epwEnabled = true; }
void DisableEpw() { epwEnabled = false; }
void Vision() { visionCones = TextConsole::ReadOnOff() != 0; }

// Volumes the drive takes: 0 .. 65535.
int32_t Volume(int32_t value) { return std::clamp(value, 0, 65535); }

void CdFade()
{
    const int32_t volume = Volume(TextConsole::ReadInt(0));
    const float seconds = TextConsole::ReadFloat(3.0f);
    if (CdPlayer* cd = CdPlayer::Global(); cd && seconds > 0.0f)
        cd->FadeTo(volume, seconds);
}

void CdSetVolume()
{
    const int32_t volume = Volume(TextConsole::ReadInt(0));
    if (CdPlayer* cd = CdPlayer::Global())
        cd->SetVolume(volume);
}

void CdPlay()
{
    bool loop = false;
    if (TextConsole::NextIsWord())
        loop = strcasecmp(TextConsole::ReadWord().c_str(), "LOOPING") == 0;
    int32_t tracks[kMaxPlayTracks];
    int count = 0;
    while (count < kMaxPlayTracks && TextConsole::NextIsNumber()) {
        const int32_t track = TextConsole::ReadInt(0);
        if (track == 0)
            break;
        tracks[count++] = track;
    }
    TextConsole::SetLine("");
    if (CdPlayer* cd = CdPlayer::Global()) {
        cd->SetPlaylist(tracks, count, loop);
        CdPlayer::Poll(cd);
    }
}

void PlaySound()
{
    const int32_t id = TextConsole::ReadInt(0);
    if (SoundSystem* sound = SoundSystem::Global(); sound && id != 0)
        sound->Play(id, "");
}

void PlayEnvironmentalSound()
{
    const int32_t id = TextConsole::ReadInt(0);
    if (id == 0)
        return;
    // A deque: the sound system keeps the block's address.
    auto& record = g_environmentalSounds.emplace_back();
    record.id = uint32_t(id);
    record.block = {0, std::bit_cast<int32_t>(5.0f), std::bit_cast<int32_t>(50.0f), 100};
    if (SoundSystem* sound = SoundSystem::Global())
        sound->Play(id, "ler", {record.block.data()});
}

void CdStop()
{
    if (CdPlayer* cd = CdPlayer::Global())
        cd->Stop();
}

} // namespace

SavedCamera& Saved() { return g_saved; }
const std::deque<EnvironmentalSound>& EnvironmentalSounds() { return g_environmentalSounds; }
void ClearEnvironmentalSounds() { g_environmentalSounds.clear(); }
Borders& GetBorders() { return g_borders; }

void Install()
{
    static constexpr struct {
        const char* name;
        CommandHandler handler;
    } kHandlers[] = {
        {"SET CAMERA", SetCamera},
        {"SET CAMERA POS", SetCamera},
        {"SET CAMERA POSITION", SetCamera},
        {"ALTER CAMERA", AlterCamera},
        {"SET CAMERA ORI", SetCameraOrientation},
        {"SET CAMERA ORIENTATION", SetCameraOrientation},
        {"SET DISTANCE", SetDistance},
        {"SET CAMERA DISTANCE", SetDistance},
        {"SAVE CAMERA", SaveCamera},
        {"RESTORE CAMERA", RestoreCamera},
        {"GET CAMERA", GetCamera},
        {"SHOW ZOOM", ShowZoom},
        {"SET REQUIRED POS", SetRequiredPos},
        {"SET REQUIRED ORI", SetRequiredOri},
        {"SET REQUIRED DISTANCE", SetRequiredDistance},
        {"SET REQUIRED POSDIST", SetRequiredPosDist},
        {"ROTATE CAMERA", RotateCamera},
        {"ELEVATE CAMERA", ElevateCamera},
        {"SET CAMERA FOCUS", SetCameraFocus},
        {"FREE CAMERA FOCUS", FreeCameraFocus},
        {"CAMERA TRACK", CameraTrack},
        {"TRACK", Track},
        {"STOP TRACKING", StopTracking},
        {"PLAY CUTSCENE", PlayCutscene},
        {"BORDERS ", BordersOn},
        {"BORDERS OFF", BordersOff},
        {"CURSOR OFF", CursorOff},
        {"CURSOR ON", CursorOn},
        {"PAUSE GAME", PauseGame},
        {"ENABLE EPW", EnableEpw},
        {"DISABLE EPW", DisableEpw},
        {"VISION", Vision},
        {"CD FADE", CdFade},
        {"CD SET VOLUME", CdSetVolume},
        {"CD PLAY", CdPlay},
        {"CD STOP", CdStop},
        {"PLAY SOUND", PlaySound},
        {"PLAY ENVIRONMENTAL SOUND", PlayEnvironmentalSound},
    };
    for (const auto& h : kHandlers)
        CommandTable::Provide(h.name, h.handler);
}

} // namespace CameraCommands
