// Formatting of script problems.
#include "packer/Problems.h"

namespace Packer
{
std::string FormatProblem(const std::string& file, const Problem& problem)
{
    if (!problem.where.empty() && problem.where[0] >= '0' && problem.where[0] <= '9')
        return file + ":" + problem.where + ": " + problem.message;
    if (problem.where.empty())
        return file + ": " + problem.message;
    return file + ": " + problem.where + ": " + problem.message;
}
} // namespace Packer
