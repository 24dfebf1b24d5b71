// Reads and writes a settings file from a second process, so tests can check
// that values and their types survive between processes.
#include "NBEDefaults.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.size() < 3)
        return 2;
    NBEDefaults defaults(args.takeFirst());
    const QString command = args.takeFirst();
    const QString key = args.takeFirst();
    QTextStream out(stdout);
    if (command == QLatin1String("set-bool"))
        return defaults.setBool(key, args.value(0) == QLatin1String("true")) ? 0 : 1;
    if (command == QLatin1String("set-int"))
        return defaults.setInt(key, args.value(0).toLongLong()) ? 0 : 1;
    if (command == QLatin1String("set-double"))
        return defaults.setDouble(key, args.value(0).toDouble()) ? 0 : 1;
    if (command == QLatin1String("set-string"))
        return defaults.setString(key, args.value(0)) ? 0 : 1;
    if (command == QLatin1String("set-list"))
        return defaults.setStringList(key, args) ? 0 : 1;
    if (command == QLatin1String("set-many")) {
        // key is a prefix: writes prefix0..prefixN-1, racing other writers.
        const int count = args.value(0).toInt();
        for (int i = 0; i < count; ++i) {
            if (!defaults.setInt(key + QString::number(i), i))
                return 1;
        }
        return 0;
    }
    if (command == QLatin1String("get")) {
        if (auto v = defaults.boolValue(key))
            out << "bool:" << (*v ? "true" : "false");
        else if (auto v = defaults.intValue(key))
            out << "int:" << *v;
        else if (auto v = defaults.doubleValue(key))
            out << "double:" << QString::number(*v, 'g', 17);
        else if (auto v = defaults.stringValue(key))
            out << "string:" << *v;
        else if (auto v = defaults.stringListValue(key))
            out << "list:" << v->join(QLatin1Char('|')) << ":" << v->size();
        else
            out << "absent";
        return 0;
    }
    return 2;
}
