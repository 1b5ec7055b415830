#pragma once
#include <istream>
#include <ostream>

namespace zk {

// The whole console run; returns the process exit status. Catches the run's
// errors and reports them on the console.
int main_program(std::istream& in, std::ostream& out);

}  // namespace zk
