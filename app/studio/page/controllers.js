// Controllers: the Controllers dialog and the controller's editor.
