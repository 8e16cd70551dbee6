// What is wrong with a script, and where.
#ifndef PACKER_PROBLEMS_H
#define PACKER_PROBLEMS_H

#include <string>
#include <vector>

namespace Packer
{
struct Problem
{
    // A JSON pointer such as "/file/2/targets/0", "line:column" for a
    // syntax error, or empty for the script as a whole.
    std::string where;
    std::string message;
};
typedef std::vector<Problem> Problems;

// "hello.json: /file/2/targets/0: empty path", "hello.json:3:15: ..." for
// a place given as line and column, "hello.json: ..." without a place.
std::string FormatProblem(const std::string& file, const Problem& problem);
} // namespace Packer

#endif
