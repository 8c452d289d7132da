#include "recio/process_end.hpp"

int main() {
    recio::start_up();
    return recio::normal_end();
}
