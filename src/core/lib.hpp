#pragma once
// The body of `solve`: the time model, the search and the result record the
// Python module exposes as `PyOutput`.
#include <cstdint>
#include <optional>

#include "output.hpp"
#include "penalties/time/time_output.hpp"
#include "raw_input.hpp"
#include "time/span.hpp"

namespace tourloom {

using output::PyOutput;


// Builds the time model (which panics on bad time inputs), converts the limit
// (whole seconds, reinterpreted as signed; panics "TimeDelta::seconds out of
// bounds"), evaluates the identity route and searches. Without a limit
// exactly one descent runs and the result depends on the inputs alone.
// Every failure is a `Panic`; a best tour whose distance exceeds 2^64 − 1
// panics "attempt to add with overflow".
PyOutput solve(RawInput input);

}  // namespace tourloom
