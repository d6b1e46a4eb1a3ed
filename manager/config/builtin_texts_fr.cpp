// French texts, for the same ids as the English table.
#include <array>

#include "manager/config/builtin_texts.h"

namespace tessary {
namespace {

constexpr std::array kFrench = std::to_array<TextEntry>({
    {101, "Installer la pile et régénérer les fichiers de configuration"},
    {1008, "Afficher la boîte « À propos »"},
    {32771, "&Démarrer"},
    {32772, "&Arrêter"},
    {32773, "En cours..."},
    {32775, "Afficher cette liste des options"},
    {32776, "Quitter Tessary"},
    {32782, "--skip-name-resolve --language=french"},
    {32785, "Ouvrir le site web local"},
    {32786, "Ouvrir les préférences"},
    {32787, "Arrêt inattendu d'Apache !"},
    {32788, "Apache ne peut pas être lancé : un autre serveur Web utilise le port Web"},
    {32789, "Impossible de lancer le serveur : %s"},
    {32793, "Une nouvelle version (%s) est disponible. Aller sur le site de Tessary ?"},
    {32794, "Redémarrer les serveurs"},
    {32795, "Arrêt inattendu de MySql !"},
    {32796, "Démarré"},
    {32797, "Arrêté"},
    {32798,
     "Apache et MySql tournent en tant que services, et sont disponibles même si aucun utilisateur n'est "
     "connecté.\nCette option n'est disponible que pour un administrateur."},
    {32800, "Impossible d'arrêter le serveur : %s"},
    {32801,
     "Affiche une boîte de dialogue si une nouvelle version de Tessary est disponible. Nécessite une "
     "connexion à Internet."},
    {32802, "Les serveurs sont redémarrés automatiquement si leur fichier de configuration est modifié."},
    {32804,
     "Cette option lance Tessary à l'ouverture de session. Si les serveurs tournent en tant que services, "
     "ils sont lancés au démarrage du système."},
    {32805, "Impossible de redémarrer le serveur : %s"},
    {32806, "Impossible d'installer le service : %s"},
    {32807, "État d'Apache"},
    {32808, "État de MySql"},
    {32809, "Toujours afficher cette fenêtre."},
    {32810, "Afficher l'aide"},
    {32811, "Réduire/agrandir la fenêtre"},
    {32812, "Les serveurs redémarrent..."},
    {32813, "Erreur dans le fichier de configuration d'Apache :\n\n\"%s\"\n\nModifier ?"},
    {32814, "Fichier de configuration modifié"},
    {32815, "Démarrage des serveurs"},
    {32817,
     "Impossible de lancer le navigateur : copiez cette adresse dans votre navigateur favori : "
     "\"%s\".\n(pour "
     "corriger cette erreur, définissez un navigateur par défaut)"},
    {32818, "Impossible de désinstaller le service : %s"},
    {32819, "&Redémarrer"},
    {32820, "&Tuer"},
    {32821, "À propos de Tessary"},
    {32822, "Pour plus d'informations, visitez la page de Tessary :"},
    {32823, "&Voir la licence"},
    {32824, "&Vérifier la version"},
    {32825, "Tessary, une façon simple de faire tourner Apache, MySql et PHP, a été créé par :"},
    {32827, "&Lancer à l'ouverture de session (administrateur seulement)"},
    {32828, "L&ancer Apache et MySql en tant que services (administrateur seulement)"},
    {32829, "&Démarrer les serveurs au lancement de cette application"},
    {32830, "&Vérifier la version au démarrage"},
    {32831, "&Prise en compte automatique des modifications de configuration des serveurs"},
    {32833, "A&ppliquer"},
    {32834, "&Fermer"},
    {32835, "À propos"},
    {32836, "&Aide"},
    {32837, "&Journaux"},
    {32838, "&Configuration"},
    {32839, "&Explorer"},
    {32840, "&Administration"},
    {32841, "&Web local"},
    {32842, "&Quitter"},
    {32843, "&Introduction"},
    {32844, "&Débuter avec PHP"},
    {32845, "&FAQ"},
    {32846, "&Erreurs Apache"},
    {32847, "A&ccès Apache"},
    {32848, "Erreurs &MySql"},
    {32849, "&Extensions PHP"},
    {32850, "https://www.php.net/manual/fr/"},
    {32851, "french"},
    {32852,
     "Les extensions marquées en rouge ne peuvent pas être utilisées car elles ont des erreur de "
     "dependance.\nConsultez le guide d'installation de ces extensions."},
    {32853, "Actualiser"},
    {32854, "Arrêt des serveurs"},
    {32855, "Tester le port TCP du serveur avant de le démarrer"},
    {32856, "Langue"},
    {32858, " "},
    {32859, "Fichier"},
    {32860, "Actuelle"},
    {32861, "Nouvelle"},
    {32862, "Taille"},
    {32863, "Empreinte"},
    {32864, "ERREUR : impossible d'obtenir les données de mise à jour sur le Web"},
    {32865, "ERREUR : impossible d'obtenir les empreintes sur le Web"},
    {32866, "Tous les fichiers sont à jour"},
    {32867, "Mise à jour de \"%s\"..."},
    {32868, "Mauvaise empreinte pour \"%s\"\n%s\nau lieu de\n%s"},
    {32869, "Erreur de mise à jour de \"%s\" : %d !"},
    {32870, "Relancez Tessary pour terminer la mise à jour."},
    {32871,
     "Tessary tourne depuis un support amovible. Voulez-vous régénérer les fichiers de configuration avant "
     "de lancer les serveurs ?"},
});

}  // namespace

std::span<const TextEntry> FrenchTexts() { return kFrench; }

}  // namespace tessary
