#pragma once

// The program's start procedure.
namespace modMain {

int Main(int argc, char *argv[]);

} // namespace modMain
