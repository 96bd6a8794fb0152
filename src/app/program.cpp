#include "program.h"

namespace tonalyx::app {

Program::Program(midi::MidiOutService& service, Platform& platform)
    : port_(service)
    , lifecycle_(port_, window_, platform)
{
    window_.setCloseHandler([this] { return lifecycle_.FormClose(); });
}

void Program::start()
{
    lifecycle_.FormCreate();
}

} // namespace tonalyx::app
