#pragma once

#include <QtTest>

// QVERIFY_THROWS_EXCEPTION came with Qt 6.3; Qt 5 has only the older spelling.
#if QT_VERSION >= QT_VERSION_CHECK(6, 3, 0)
#define VERIFY_THROWS(type, expression) QVERIFY_THROWS_EXCEPTION(type, expression)
#else
#define VERIFY_THROWS(type, expression) QVERIFY_EXCEPTION_THROWN(expression, type)
#endif
