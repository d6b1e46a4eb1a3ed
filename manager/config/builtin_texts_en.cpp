// English texts. The ids that are also command identifiers of the switch
// table (32775, 32776, 32785, 32786, 32794, 1008, 101) describe the command
// for the list of switches.
#include <array>

#include "manager/config/builtin_texts.h"

namespace tessary {
namespace {

constexpr std::array kEnglish = std::to_array<TextEntry>({
    {101, "Lay out the stack and regenerate the configuration files"},
    {1008, "Show the about box"},
    {32771, "&Start"},
    {32772, "&Stop"},
    {32773, "Pending..."},
    {32775, "Show this list of switches"},
    {32776, "Exit Tessary"},
    {32782, "--skip-name-resolve --language=english"},
    {32785, "Open the local web site"},
    {32786, "Open the settings"},
    {32787, "Unexpected end of Apache !"},
    {32788, "Apache cannot be run : another Web server use the Web port"},
    {32789, "Cannot run server : %s"},
    {32793, "A new version (%s) is available. Go to the Tessary web ?"},
    {32794, "Restart the servers"},
    {32795, "Unexpected end of MySql !"},
    {32796, "Started"},
    {32797, "Stopped"},
    {32798,
     "Apache et MySql run as servers, and are available even if no user logged.\nThis option is available "
     "only on NT/2K and XP Windows and if user is admin."},
    {32800, "Can't stop server  : %s"},
    {32801, "Display a dialog box if a new version of Tessary is available. Need a Internet connection."},
    {32802, "Servers are automaticaly restarted if their configuration file if modified."},
    {32804,
     "This switch allows you to run Tessary at Windows startup. If you run servers as services, they will be "
     "automatically run at Windows startup."},
    {32805, "Can't restart server : %s"},
    {32806, "Can't install service: %s"},
    {32807, "Apache state"},
    {32808, "MySql  state"},
    {32809, "Show always this dialog."},
    {32810, "Display help"},
    {32811, "Minimize/maximize the window"},
    {32812, "Server are restarting..."},
    {32813, "Error in Apache configuration file:\n\n\"%s\"\n\nEdit ?"},
    {32814, "Configuration file changed"},
    {32815, "Servers starting"},
    {32817,
     "Can't launch browser : copy this address in your favorite browser : \"%s\".\n(to correct this error "
     "define a default browser)"},
    {32818, "Can't uninstall service : %s"},
    {32819, "&Restart"},
    {32820, "&Kill"},
    {32821, "About Tessary"},
    {32822, "For informations, visit the Tessary home page :"},
    {32823, "&View licence"},
    {32824, "&Check version"},
    {32825, "Tessary, a simple way to run Apache, MySql and PHP, has been created by :"},
    {32827, "&Start on windows startup (administrator only)"},
    {32828, "St&art Apache and MySql as services (administrator only)"},
    {32829, "&Launch server when this application start"},
    {32830, "&Check version at startup"},
    {32831, "&Automatic consideration of servers's configuration modification"},
    {32833, "A&pply"},
    {32834, "&Close"},
    {32835, "About"},
    {32836, "&Help"},
    {32837, "&Log Files"},
    {32838, "&Configuration"},
    {32839, "&Explore"},
    {32840, "&Administration"},
    {32841, "Local &Web"},
    {32842, "&Exit"},
    {32843, "&Introduction"},
    {32844, "&Start with PHP"},
    {32845, "&FAQ"},
    {32846, "&Apache Error"},
    {32847, "Apache A&cces"},
    {32848, "&MySql Error"},
    {32849, "PHP &Extensions"},
    {32850, "https://www.php.net/"},
    {32851, "english"},
    {32852,
     "Les extensions marquées en rouge ne peuvent pas être utilisées car elles ont des erreur de "
     "dependance.\nConsultez le guide d'installation de ces extensions."},
    {32853, "Refresh"},
    {32854, "Stop the Servers"},
    {32855, "Check server's TCP port before starting"},
    {32856, "Language"},
    {32858, " "},
    {32859, "File"},
    {32860, "Current"},
    {32861, "New"},
    {32862, "Size"},
    {32863, "Hash"},
    {32864, "ERROR : Can't retrieve upgrade data from Web"},
    {32865, "ERROR : Can't retrieve hash data from Web"},
    {32866, "All files are already up to date"},
    {32867, "Updating \"%s\"..."},
    {32868, "Bad Hash for  \"%s\"\n%s\nshould be\n%s"},
    {32869, "Error upgrading \"%s\" : %d !"},
    {32870, "Relaunch Tessary to finish the upgrade."},
    {32871,
     "You're running Tessary from a removable drive. Do you want to regenerate conf files before running "
     "servers ?"},
});

}  // namespace

std::span<const TextEntry> EnglishTexts() { return kEnglish; }

}  // namespace tessary
