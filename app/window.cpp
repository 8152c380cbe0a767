#include "app/window.h"

#include "app/frame_loop.h"
#include "app/main_window.h"
#include "cli/options.h"
#include "render/neuron_view.h"

#include <QApplication>

#include <ctime>

int window_main(int argc, char** argv, const options_type& options)
{
    QApplication application(argc, argv);
    application.setQuitOnLastWindowClosed(false);  // closing the main window quits, the neuron window does not

    main_window_widget window;
    system_startup(&window, options.seed_given ? options.seed : static_cast<std::uint32_t>(std::time(nullptr)));
    window.show();
    create_neuron_window();
    const int status = application.exec();
    delete neuron_window;
    neuron_window = nullptr;
    return status;
}
