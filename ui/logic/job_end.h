// How a finished background job ended, as the window and korvane-dump report it: done,
// cancelled by the user, or failed with the German sentence the job left. The one place that
// reads a finished job's outcome fields; both front ends choose their own texts from it. The
// failure sentence is the text of the job's status, with its arguments.
#pragma once

#include <string>

#include "jobs/job.h"

namespace kv {

enum class JobOutcome { done, cancelled, failed };

struct JobEnd {
    JobOutcome outcome = JobOutcome::done;
    std::string failure;  // the job's own sentence when failed, else empty
};

// The end of job, which the worker has handed back. Throws std::bad_alloc.
JobEnd job_end(const BackgroundJob& job);

}  // namespace kv
