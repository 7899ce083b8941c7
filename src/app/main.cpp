#include "app/production_probes.h"
#include "app/program.h"

// The product takes no arguments and reads none.
int main() { return talvo::RunConsoleProgram(talvo::BindProductionProbes()); }
