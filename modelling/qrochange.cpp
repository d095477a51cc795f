#include "qrochange.h"

#include "qroalgorithm.h"

QroChangeReceiverI::~QroChangeReceiverI() {}
QroChange::~QroChange() {}
QroRemoveFromAllChange::~QroRemoveFromAllChange() {}
QroDestroyExtractable::~QroDestroyExtractable() {}
QroDestroyExtractableArray::~QroDestroyExtractableArray() {}
QroAddOneToModel::~QroAddOneToModel() {}
QroSetNumVarBounds::~QroSetNumVarBounds() {}
QroLinTermRemoveVarChange::~QroLinTermRemoveVarChange() {}
QroNumLinTermRemoveVar::~QroNumLinTermRemoveVar() {}
QroIntLinTermRemoveVar::~QroIntLinTermRemoveVar() {}

void QroChange::forward(QroEnvI*, void*, QroChangeReceiverI*) const {}

void QroChange::apply(QroAlgorithmI* algorithm, void* argument) {
  QroChangeHooks* h = getHookRecord();
  if (!h || !h->apply) throw QroAlgorithm::CannotChangeException(algorithm);
  h->apply(algorithm, this, argument);
}

QroExtractableArray QroChange::getChangedExtractableArray() const {
  throw QroWrongUsage("QroChange::getChangedExtractableArray can not be called");
}

QroExtractableI* QroChange::getChangedExtractable() const {
  throw QroWrongUsage("QroChange::getChangedExtractable can not be called");
}

void QroRemoveFromAllChange::forward(QroEnvI* env, void* argument, QroChangeReceiverI*) const {
  QroExtractableListenerI* listener = env->getExtractableListener();
  if (!listener) return;
  if (argument) {
    listener->unregistered(static_cast<QroExtractableI*>(argument));
    return;
  }
  if (!_array.getImpl()) return;
  for (QroInt i = 0; i < _array.getSize(); ++i) listener->unregistered(_array[i]);
}

void QroAddOneToModel::forward(QroEnvI*, void* argument, QroChangeReceiverI* receiver) const {
  if (receiver) receiver->added(argument, _added);
}

QroRemoveFromModel::QroRemoveFromModel(QroExtractableI* model, const QroExtractableArray& removed,
                                       QroBool owned)
    : _model(model), _removed(removed), _owned(owned) {}

QroRemoveFromModel::QroRemoveFromModel(QroExtractableI* model, QroExtractableI* removed)
    : _model(model), _removed(QroEnv(model->getEnv()), 0), _owned(1) {
  _removed.add(removed);
}

QroRemoveFromModel::~QroRemoveFromModel() {
  if (_owned) _removed.end();
}

void QroRemoveFromModel::forward(QroEnvI*, void* argument, QroChangeReceiverI* receiver) const {
  if (!receiver || !_removed.getImpl()) return;
  for (QroInt i = 0; i < _removed.getSize(); ++i) receiver->removed(argument, _removed[i]);
}

void QroLinTermRemoveVarChange::forward(QroEnvI*, void* argument,
                                        QroChangeReceiverI* receiver) const {
  if (receiver) receiver->removed(argument, _var);
}
