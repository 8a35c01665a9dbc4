// The subcommands of pavorm. Each takes the arguments after its name and
// returns the exit status; failures throw ToolError (see cli_args.h).
#ifndef PAVORM_TOOLS_COMMANDS_H
#define PAVORM_TOOLS_COMMANDS_H

#include <string>
#include <vector>

namespace pavorm_tool {

using ArgList = std::vector<std::string>;

int RunDemo(const ArgList& args);
int RunStrings(const ArgList& args);
int RunLanguages(const ArgList& args);
int RunConfig(const ArgList& args);
int RunCheck(const ArgList& args);
int RunRef(const ArgList& args);
int RunXml(const ArgList& args);
int RunExport(const ArgList& args);
int RunBuild(const ArgList& args);
int RunPseudo(const ArgList& args);

}  // namespace pavorm_tool

#endif
