#pragma once

#include <functional>
#include <mutex>
#include <string>

namespace ostrel::ui {

// What a job on the worker tells the progress dialog, and how the dialog's Cancel reaches the job. A job is
// a row of steps (a request, writing a file, reading it); each says what it does and, where it can stop
// part way, how. The job calls begin and stopIfCancelled on the worker; the dialog calls report and cancel
// on the user-interface thread.
class JobProgress {
public:
    // What the dialog shows of the step under way: what is being done, how far it got (may be empty), and
    // whether Cancel is offered.
    struct Report {
        std::string what;
        std::string figures;
        bool cancellable = true;
    };
    // A step's own account of itself, asked for at each refresh of the dialog; and how a step that can stop
    // part way is stopped (the step then raises its error). Both are called on the user-interface thread.
    using Describe = std::function<Report()>;
    using Stop = std::function<void()>;

    // A new step begins. A Cancel that came before it ends the job here, so nothing begins after a Cancel.
    void begin(Describe describe, Stop stop = {});
    // A step that cannot stop part way honours a Cancel made during it at its end.
    void stopIfCancelled() const;
    // From here on the job has changed what Cancel cannot take back (a store, a delete): the rest of it runs
    // to its end and the dialog offers no Cancel. A Cancel that came before is too late and is forgotten.
    void withholdCancel();

    Report report() const;
    void cancel();

private:
    [[noreturn]] void raiseCancelled() const;

    mutable std::mutex mutex_;
    Describe describe_;
    Stop stop_;
    bool cancelled_ = false;
    bool withheld_ = false;
};

}  // namespace ostrel::ui
