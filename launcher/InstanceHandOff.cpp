#include "launcher/InstanceHandOff.h"

#include "common/AtlException.h"
#include "common/HookProtocol.h"
#include "common/SharedBlockView.h"
#include "common/UniqueHandle.h"
#include "launcher/LaunchFlow.h"
#include "marking/SharedBlockPublication.h"
#include "marking/SpirelBinding.h"
#include "programwide/DiagnosticLog.h"
#include "security/ObjectOwnerCheck.h"

void (*g_untrackedLaunch)(const std::string& text) = RunUntrackedLaunch;

namespace {

// The block of a first instance that has just created it may not hold its
// window yet: two links opened together start two instances at once.
HookSharedBlock ReadPublishedBlock(const SharedBlockView& view)
{
    HookSharedBlock block = {0, 0};
    for (int attempt = 0; attempt < 40; ++attempt) {
        view.Read(&block, sizeof block);
        if (block.mainWindow)
            break;
        Sleep(25);
    }
    return block;
}

// Held by a start from its SetWindowTextA to the end of its SendMessageA:
// the text is the message's payload, and another start's text must not
// take its place in between. The first instance keeps it open for its
// lifetime, so that nobody else can create it under that name meanwhile.
const char kHandOffMutexName[] = "HandOffMutexClassObject_Ver1";
// A hand-off waits at most this long for the starts before it (each may
// wait for a launch flow's first window).
const DWORD kHandOffQueueLimit = 5 * 60 * 1000;
// How long a refused start waits for the ending instance's block to go.
const DWORD kBlockGoneLimit = 5000;

enum class HandOff { NoInstance, Taken, Refused, Squatted };

// The first instance's own hold on the hand-off mutex, for its lifetime:
// while it holds it, the name cannot be taken by anybody else.
unique_handle s_handOffMutex;

// True when this process holds the hand-off mutex, created with a DACL that
// a restricted token cannot open, or found as another instance of
// Quillet's. A mutex somebody else made first is a squatter's.
bool ClaimHandOffMutex()
{
    if (s_handOffMutex)
        return true;
    unique_handle mutex(CreateMutexA(nullptr, FALSE, kHandOffMutexName));
    if (!mutex)
        return false;
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        if (!HasTrustedOwner(mutex.get()))
            return false;
    } else {
        try {
            SetHandOffMutexSecurity(mutex.get());
        } catch (const CAtlException&) {
            // The creator's default DACL: no worse than an unclaimed name.
        }
    }
    s_handOffMutex = std::move(mutex);
    return true;
}

// A start's turn at the hand-off, behind the starts before it. The mutex
// is nobody's to keep: whoever holds it too long (or left it abandoned)
// only delays the hand-off, which then goes out all the same. A start that
// may not open it (a restricted one) goes without its turn, as when there
// is none; one that finds it owned by another program never waits on it.
class HandOffTurn {
public:
    HandOffTurn() : mutex_(OpenMutexA(SYNCHRONIZE | READ_CONTROL, FALSE, kHandOffMutexName))
    {
        if (mutex_ && !HasTrustedOwner(mutex_.get())) {
            squatted_ = true;
            return;
        }
        DWORD waited = mutex_ ? WaitForSingleObject(mutex_.get(), kHandOffQueueLimit) : WAIT_FAILED;
        held_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    }
    ~HandOffTurn()
    {
        if (held_)
            ReleaseMutex(mutex_.get());
    }
    HandOffTurn(const HandOffTurn&) = delete;
    HandOffTurn& operator=(const HandOffTurn&) = delete;
    bool Squatted() const { return squatted_; }

private:
    unique_handle mutex_;
    bool held_ = false;
    bool squatted_ = false;
};

// The block another program made before any instance did, to take the
// links handed to it, is not owned by Administrators or SYSTEM.
bool BlockIsTrusted()
{
    unique_handle block(OpenFileMappingA(READ_CONTROL, FALSE, HOOK_SHARED_BLOCK_NAME));
    return block && HasTrustedOwner(block.get());
}

// Another instance finds the block and hands its command line over. Only
// the answer 1 means that it took the text.
HandOff HandOffToFirstInstance(const std::string& commandLine)
{
    SharedBlockView view;
    if (!view.OpenReadOnly(sizeof(HookSharedBlock), HOOK_SHARED_BLOCK_NAME))
        return HandOff::NoInstance;
    if (!BlockIsTrusted())
        return HandOff::Squatted;
    HookSharedBlock block = ReadPublishedBlock(view);
    HWND firstWindow = BlockWindow(block.mainWindow);
    HandOffTurn turn;
    if (turn.Squatted())
        return HandOff::Squatted;
    SetWindowTextA(firstWindow, commandLine.c_str());
    // Synchronous: the first instance has launched the link, or queued it
    // behind the launch under way, when this returns.
    LRESULT answer = SendMessageA(firstWindow, g_hookMessages.runNewProgram, 0, 0);
    return answer == 1 ? HandOff::Taken : HandOff::Refused;
}

const char kSquatted[] = "the shared block or the hand-off mutex is another program's";

// The link is not lost to objects that are not Quillet's: it opens
// protected, and nothing tracks or marks it.
void RunUntracked(const char* why, const std::string& commandLine)
{
    hookLog.WriteFormat("HAND-OFF: %s, the link opens untracked -> %s", why, commandLine.c_str());
    g_untrackedLaunch(commandLine);
}

}  // namespace

// A refusal is no hand-off: the start goes on as a first instance, and its
// publication waits for the ending instance's block to go.
bool HandOffToRunningInstance(const std::string& commandLine)
{
    switch (HandOffToFirstInstance(commandLine)) {
    case HandOff::Taken:
        return true;
    case HandOff::Squatted:
        RunUntracked(kSquatted, commandLine);
        return true;
    default:
        return false;
    }
}

// False when another instance took the text, or when this start ran it
// untracked. An instance that refuses it is ending: its block goes in a
// moment, and this start becomes the first instance. A block that stays
// (some process keeps it open) or objects of another program's do not
// lose the link either: this start runs it, untracked, and ends.
bool PublishOrHandOff(HWND window, const std::string& commandLine)
{
    const char* why = "the shared block cannot be published";
    DWORD start = GetTickCount();
    do {
        HandOff handOff = HandOffToFirstInstance(commandLine);
        if (handOff == HandOff::Taken)
            return false;
        if (handOff == HandOff::Squatted || (handOff == HandOff::NoInstance && !ClaimHandOffMutex())) {
            why = kSquatted;
            break;
        }
        if (handOff == HandOff::NoInstance && CreateSharedBlock()) {
            PublishSharedBlock(window, nullptr);
            return true;
        }
        // Another start won the race for the block, or the ending one still
        // holds it.
        Sleep(50);
    } while (GetTickCount() - start < kBlockGoneLimit);
    RunUntracked(why, commandLine);
    return false;
}
