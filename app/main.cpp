#include <iostream>

#include "driver/driver.hpp"

int main() { return zk::main_program(std::cin, std::cout); }
