#pragma once

#include <QAbstractItemModel>
#include <QAbstractItemModelTester>

namespace varno::test {

// Puts `model` under Qt's model tester for the rest of its life: at once and
// after every change it announces, its rows, columns, indexes, parents and
// data are checked against the rules every view relies on, and a broken
// rule stops the test with the rule's text. The tester belongs to the model,
// so it goes when the model goes.
//
// The tester walks every row after each change, so a model of a hundred
// thousand rows is better left unchecked: a test of that size checks
// scale, and the smaller tests of the same model check its rules.
inline void checkModel(QAbstractItemModel& model)
{
    if (model.findChild<QAbstractItemModelTester*>(QString(), Qt::FindDirectChildrenOnly))
        return;
    new QAbstractItemModelTester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal, &model);
}

} // namespace varno::test
