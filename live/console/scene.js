// Scene lines as the console writes them.

// A quoted scene text: \" \\ and \n escaped.
export function quote(text) {
  return '"' + String(text).replace(/[\\"]/g, (c) => '\\' + c).replace(/\n/g, '\\n') + '"';
}

// The last value of a component's setter, or undefined.
export function setting(component, call) {
  return component.settings.find((s) => s.call === call)?.args;
}
