#pragma once

// Sorts the ways a request can fail into those worth another try and those that end the job.

#include <curl/curl.h>

#include <string>

#include "engine/job_options.h"

namespace quorvane::engine {

struct Failure {
    bool transient = false;
    std::string reason;
    FailureKind kind = FailureKind::network;
};

// code is libcurl's result; httpStatus the last response status (0 when there was none).
Failure classifyFailure(CURLcode code, long httpStatus, const char* curlDetail);

}  // namespace quorvane::engine
