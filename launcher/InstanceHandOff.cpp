#include "launcher/InstanceHandOff.h"

#include "common/HookProtocol.h"
#include "common/SharedBlockView.h"
#include "common/UniqueHandle.h"
#include "marking/SharedBlockPublication.h"
#include "marking/SpirelBinding.h"

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
// take its place in between.
const char kHandOffMutexName[] = "HandOffMutexClassObject_Ver1";
// A hand-off waits at most this long for the starts before it (each may
// wait for a launch flow's first window).
const DWORD kHandOffQueueLimit = 5 * 60 * 1000;
// How long a refused start waits for the ending instance's block to go.
const DWORD kBlockGoneLimit = 5000;

enum class HandOff { NoInstance, Taken, Refused };

// The mutex is nobody's to keep: whoever holds it too long (or left it
// abandoned) only delays the hand-off, which then goes out all the same.
class HandOffTurn {
public:
    HandOffTurn() : mutex_(CreateMutexA(nullptr, FALSE, kHandOffMutexName))
    {
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

private:
    unique_handle mutex_;
    bool held_ = false;
};

// Another instance finds the block and hands its command line over. Only
// the answer 1 means that it took the text.
HandOff HandOffToFirstInstance(const std::string& commandLine)
{
    SharedBlockView view;
    if (!view.OpenReadOnly(sizeof(HookSharedBlock), HOOK_SHARED_BLOCK_NAME))
        return HandOff::NoInstance;
    HookSharedBlock block = ReadPublishedBlock(view);
    HWND firstWindow = BlockWindow(block.mainWindow);
    HandOffTurn turn;
    SetWindowTextA(firstWindow, commandLine.c_str());
    // Synchronous: the first instance runs the launch before this returns.
    LRESULT answer = SendMessageA(firstWindow, g_hookMessages.runNewProgram, 0, 0);
    return answer == 1 ? HandOff::Taken : HandOff::Refused;
}

}  // namespace

// A refusal is no hand-off: the start goes on as a first instance, and its
// publication waits for the ending instance's block to go.
bool HandOffToRunningInstance(const std::string& commandLine)
{
    return HandOffToFirstInstance(commandLine) == HandOff::Taken;
}

// False when another instance took the text. An instance that refuses it
// is ending: its block goes in a moment, and this start becomes the first
// instance. A block that stays (some process keeps it open) does not lose
// the link either: this start runs it, unpublished.
bool PublishOrHandOff(HWND window, const std::string& commandLine)
{
    DWORD start = GetTickCount();
    do {
        HandOff handOff = HandOffToFirstInstance(commandLine);
        if (handOff == HandOff::Taken)
            return false;
        if (handOff == HandOff::NoInstance && CreateSharedBlock()) {
            PublishSharedBlock(window, nullptr);
            return true;
        }
        // Another start won the race for the block, or the ending one still
        // holds it.
        Sleep(50);
    } while (GetTickCount() - start < kBlockGoneLimit);
    return true;
}
