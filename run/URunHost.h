#pragma once
#include <cstdint>
#include <string>

struct TRunResult;

// What the run thread's body tells its owner. The window implements it by posting to its own
// thread (it may show boxes only there); tests implement it directly.
//
// Both calls come on the run thread, after the body has given the CPU up, and must return
// without waiting for the window's thread to serve them: the window's thread may be
// disposing of this very thread (it keeps serving its events through a poll hook then, but
// a call that blocks until a box is closed would stall the disposal for as long).
class TRunHost {
  public:
    static constexpr const char* EndMessage = "程序执行完毕！";
    static constexpr const char* EndCaption = "系统提示";

    // The run has ended (end of the image, or the program left memory): show EndMessage with
    // EndCaption, and when the user has closed it call TExecution::EndMessageClosed(run).
    // Until then the body waits, with ThreadActive still true and the CPU free.
    virtual void RunEndMessageDue(uint64_t run) = 0;
    // An instruction failed ("Division by zero"); the body has already ended the run and
    // does not wait for the error box.
    virtual void RunFailed(uint64_t run, const std::string& message) = 0;
    // The run stopped for the debugger and is paused exactly as after Pause: result.End is
    // TRunEnd::Breakpoint, Watchpoint or Returned and result.Stop tells why (copy what you
    // keep: the reference ends with the call). The body parks after this call returns.
    virtual void RunDebugStopped(uint64_t run, const TRunResult& result) {
        (void)run;
        (void)result;
    }

  protected:
    ~TRunHost() = default;
};
