// What the player reports to whoever shows it: the window, or the terminal player. Every report
// has a default that ignores it, so each listener takes only what it can show.
//
// Threads: the owning thread (the one that commands the player), except AuthoringEnded.
#pragma once

#include <cstdint>
#include <string_view>

namespace zeblo {

class PlayerListener {
public:
    virtual ~PlayerListener() = default;

    // The playing, paused, loading or authoring state changed: show all of it now.
    virtual void StateChanged() {}
    // Everything shown is to be redrawn the next time anything is drawn.
    virtual void FullRedrawNeeded() {}
    // A play start begins: a message still shown goes, and everything is redrawn.
    virtual void PlayStarting() {}
    // A file is about to be loaded: what is shown of the last song no longer holds.
    virtual void SongLoading() {}
    // The song is loaded and measured: its title and length can be shown.
    virtual void SongLoaded() {}
    // The start waits for the ring to fill: show how far it is, now.
    virtual void BufferingProgress() {}
    // The device ran dry; the mark is on until it has been shown long enough.
    virtual void UnderrunNoticed() {}
    virtual void ShowMessage(std::string_view text, int32_t ms) {
        (void)text;
        (void)ms;
    }
    // Asked between the polls of a start waiting for the ring: true gives the start up (the
    // player stops). A window lets its event loop run here; a play request handled meanwhile
    // stops the waiting start by itself.
    virtual bool AbandonWait() { return false; }
    // A play of the current file is wanted once the present command has returned.
    virtual void PlayRequested() {}
    // Authoring thread: the run has ended; Player::FinishAuthoring must follow on the owning
    // thread.
    virtual void AuthoringEnded() {}
};

}  // namespace zeblo
