#pragma once
// Hand-built IFF fixtures for the reader tests: the byte builders of support/IffBytes.h and
// an expectation on the readers' error messages.

#include <gtest/gtest.h>

#include <string>

#include "support/IffBytes.h"
#include "support/TestSupport.h"

namespace ifftest {

using testsupport::Bytes;

using iffbytes::Cat;
using iffbytes::Chunk;
using iffbytes::Form;
using iffbytes::FormWithTruncatedChunk;
using iffbytes::Text;

// Runs `f` and expects an exception of class E carrying exactly `message`.
template <class E, class F>
void ExpectError(F f, const std::string& message) {
  try {
    f();
    ADD_FAILURE() << "no exception, expected: " << message;
  } catch (const E& e) {
    EXPECT_EQ(e.Message(), message);
  }
}

}  // namespace ifftest
