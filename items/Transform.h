#pragma once
// The child walk of a draw item: transforms, parameter groups, shader
// parameters and clears among its children apply, and textures and groups
// render in place, in child order, before it draws. Transforms multiply on the right, so the first one is the outermost.
#include <glm/mat4x4.hpp>

class QQuickItem;

// Applies one child item to the model-view matrix mv and the model matrix m
// (both changed in place). A ParamGroup applies each of its children first.
void applyChild(QQuickItem* child, glm::mat4& mv, glm::mat4& m);
