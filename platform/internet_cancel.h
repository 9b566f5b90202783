// The host's cancel switch for every wait of the Internet functions. [any thread]
#pragma once

namespace chartloom::inet {

bool waitsCancelled();

}  // namespace chartloom::inet
