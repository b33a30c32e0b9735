#include "SorvikAgent/Agent.hpp"

namespace sorvik::agent {

// Hand-off packages are not built yet: both commands answer as an invalid command.
void prepare(const Repository&, const WorkspaceState&, const std::vector<std::string>&) {
    throw SorvikError::message("命令或参数无效；使用 projects、project、prepare、verify");
}

void verify(const std::vector<std::string>&) {
    throw SorvikError::message("命令或参数无效；使用 projects、project、prepare、verify");
}

}  // namespace sorvik::agent
