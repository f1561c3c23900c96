#pragma once

#include <string>

// Why the X display cannot be opened, as one line for standard error; empty when it
// can, or when the toolkit has been told to use another platform (QT_QPA_PLATFORM).
// The toolkit itself would abort with a core dump instead.
std::string DisplayProblem();
