#pragma once

#include "core/product.h"
#include "core/test_control.h"
#include "testing/engine_seams.h"

#include <cstdint>

class CVantrelDoc;

// How the worker pings: up to four echoes per host and cycle, each with these arguments.
inline constexpr int ECHO_ATTEMPTS = 4;
inline constexpr uint8_t ECHO_TTL = 64;
inline constexpr uint32_t ECHO_TIMEOUT_MS = 5000;
inline constexpr uint16_t ECHO_PAYLOAD_SIZE = 32;

// Agent name of the run's HTTP client handle.
#define VANTREL_INTERNET_AGENT "Vantrel " VANTREL_HOME_PAGE

// The test worker: tests the hosts under test in cycles separated by the document's interval
// until the document's stop event is set, then ends every host's run. Returns 0.
unsigned TestWorker(CVantrelDoc& doc, const CEngineSeams& seams);
