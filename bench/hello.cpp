// The anchor of program start: a C++ program that prints one line.
#include <iostream>

int main() { std::cout << "Vorlak 0.0.0\n"; }
