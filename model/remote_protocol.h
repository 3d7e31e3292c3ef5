// What a remote protocol declares: its name and its methods, each a selector with its extended
// type encoding, from which the kinds of its arguments and of its reply block's arguments are read.
#pragma once

#include <string>
#include <vector>

namespace tarnel {

struct RemoteMethod {
  std::string selector;
  std::string typeEncoding;
};

struct RemoteProtocol {
  std::string name;
  std::vector<RemoteMethod> methods;
};

}  // namespace tarnel
