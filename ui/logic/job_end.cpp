// The end of a finished job (see job_end.h).
#include "ui/logic/job_end.h"

namespace kv {

JobEnd job_end(const BackgroundJob& job) {
    if (job.ok != 0) return {};
    if (job.cancel.load(std::memory_order_relaxed) != 0) return {JobOutcome::cancelled, {}};
    return {JobOutcome::failed, job.message};
}

}  // namespace kv
