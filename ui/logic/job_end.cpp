// The end of a finished job (see job_end.h).
#include "ui/logic/job_end.h"

namespace kv {

JobEnd job_end(const BackgroundJob& job) {
    if (job.status.ok()) return {};
    // A cancel the user asked for wins over what the stopped operation made of it.
    if (job.cancel.load(std::memory_order_relaxed) != 0 ||
        job.status.kind == StatusKind::cancelled) {
        return {JobOutcome::cancelled, {}};
    }
    return {JobOutcome::failed, status_text(job.status)};
}

}  // namespace kv
