// webgl.js -- the WebGL 2 side of the web graphics layer (gl.cpp).
//
// One program draws every lit primitive: positions and normals arrive in eye
// coordinates, the vertex shader projects them and lights each vertex by the
// GL 1.x lighting equation as the show sets it up (two lights, each with a
// diffuse colour, a position and a spot; colour material; GL's default scene
// ambient; no specular or emissive material, no light ambient, no
// attenuation; one-sided, no local viewer), and the colour is interpolated
// across the primitive. A picture (glDrawPixels) is copied to the canvas
// pixel for pixel from a texture, by a framebuffer blit.
mergeInto(LibraryManager.library, {
  $WebGLState: {
    gl: null,
    lit: null,
    vao: null,
    vertexBuffer: null,
    indexBuffer: null,
    texture: null,
    pictureFramebuffer: null,

    // Indexed triangles or lines with the lit program: per vertex nine
    // floats (see gl.cpp), 16-bit indices.
    draw: function(lines, vertices, indices, projection, lights) {
      var S = WebGLState, gl = S.gl;
      gl.useProgram(S.lit);
      gl.uniformMatrix4fv(S.litProjection, false, projection);
      gl.uniform4fv(S.litLights, lights);
      gl.bindVertexArray(S.vao);
      gl.bindBuffer(gl.ARRAY_BUFFER, S.vertexBuffer);
      gl.bufferData(gl.ARRAY_BUFFER, vertices, gl.STREAM_DRAW);
      gl.bufferData(gl.ELEMENT_ARRAY_BUFFER, indices, gl.STREAM_DRAW);
      gl.drawElements(lines ? gl.LINES : gl.TRIANGLES, indices.length, gl.UNSIGNED_SHORT, 0);
      gl.bindVertexArray(null);
    },
  },

  webglCreate__deps: ['$WebGLState'],
  webglCreate: function() {
    if (WebGLState.gl) return 1;            // made ahead by webglWarmUp, state untouched since
    var gl = Module['canvas'].getContext('webgl2', {
      alpha: false, depth: true, stencil: false, antialias: false,
      premultipliedAlpha: false, preserveDrawingBuffer: false,
    });
    if (!gl) return 0;
    var S = WebGLState;
    S.gl = gl;

    function program(vs, fs) {
      function shader(type, src) {
        var s = gl.createShader(type);
        gl.shaderSource(s, src);
        gl.compileShader(s);
        if (!gl.getShaderParameter(s, gl.COMPILE_STATUS)) throw new Error(gl.getShaderInfoLog(s));
        return s;
      }
      var p = gl.createProgram();
      gl.attachShader(p, shader(gl.VERTEX_SHADER, vs));
      gl.attachShader(p, shader(gl.FRAGMENT_SHADER, fs));
      gl.linkProgram(p);
      if (!gl.getProgramParameter(p, gl.LINK_STATUS)) throw new Error(gl.getProgramInfoLog(p));
      return p;
    }

    // uLights (the lights of gl.cpp), light i at 4 i: [+0] spot exponent,
    // cos cut-off (-2: none)  [+1] diffuse  [+2] position  [+3] spot direction.
    // The colour is the material's ambient and diffuse colour; the scene's
    // ambient light is GL's 0.2 grey.
    var litVs = [
      '#version 300 es',
      'layout(location = 0) in vec3 aPosition;',
      'layout(location = 1) in vec3 aNormal;',
      'layout(location = 2) in vec3 aColor;',
      'uniform mat4 uProjection;',
      'uniform vec4 uLights[8];',
      'out vec3 vColor;',
      'void main() {',
      '  gl_Position = uProjection * vec4(aPosition, 1.0);',
      '  vec3 c = aColor * vec3(0.2);',
      '  for (int i = 0; i < 2; i++) {',
      '    int b = 4 * i;',
      '    vec4 p = uLights[b + 2];',
      '    vec3 vp = normalize(p.w != 0.0 ? p.xyz / p.w - aPosition : p.xyz);',
      '    float spot = 1.0;',
      '    float cosCutoff = uLights[b].y;',
      '    if (cosCutoff > -1.5) {',
      '      float s = dot(-vp, normalize(uLights[b + 3].xyz));',
      '      spot = s >= cosCutoff ? pow(max(s, 0.0), uLights[b].x) : 0.0;',
      '    }',
      '    float nl = dot(aNormal, vp);',
      '    if (nl > 0.0) c += spot * (nl * aColor * uLights[b + 1].rgb);',
      '  }',
      '  vColor = clamp(c, 0.0, 1.0);',
      '}',
    ].join('\n');
    var litFs = [
      '#version 300 es',
      'precision highp float;',
      'in vec3 vColor;',
      'out vec4 fragColor;',
      'void main() { fragColor = vec4(vColor, 1.0); }',
    ].join('\n');
    S.lit = program(litVs, litFs);
    S.litProjection = gl.getUniformLocation(S.lit, 'uProjection');
    S.litLights = gl.getUniformLocation(S.lit, 'uLights');

    S.vao = gl.createVertexArray();
    gl.bindVertexArray(S.vao);
    S.vertexBuffer = gl.createBuffer();
    S.indexBuffer = gl.createBuffer();
    gl.bindBuffer(gl.ARRAY_BUFFER, S.vertexBuffer);
    gl.bindBuffer(gl.ELEMENT_ARRAY_BUFFER, S.indexBuffer);
    gl.enableVertexAttribArray(0);
    gl.enableVertexAttribArray(1);
    gl.enableVertexAttribArray(2);
    gl.vertexAttribPointer(0, 3, gl.FLOAT, false, 36, 0);
    gl.vertexAttribPointer(1, 3, gl.FLOAT, false, 36, 12);
    gl.vertexAttribPointer(2, 3, gl.FLOAT, false, 36, 24);
    gl.bindVertexArray(null);
    S.texture = gl.createTexture();
    S.pictureFramebuffer = gl.createFramebuffer();

    // Colours as computed, as the reference frames have them.
    gl.disable(gl.DITHER);
    return 1;
  },

  // Before the start button is clicked: the context is made and a triangle
  // and a line are drawn with the show's program, with and without the depth
  // test, so that the renderer has compiled what the first frame needs
  // (SwiftShader builds its routines at the first draw of each kind). The
  // canvas is not on view yet; GL's initial state is put back, and the show
  // starts from it as from a new context.
  webglWarmUp__deps: ['$WebGLState', 'webglCreate'],
  webglWarmUp: function() {
    if (!_webglCreate()) return 0;
    var S = WebGLState, gl = S.gl;
    var vertices = new Float32Array([-0.5, -0.5, -0.5, 0, 0, 1, 1, 1, 1,
                                     0.5, -0.5, -0.5, 0, 0, 1, 1, 1, 1,
                                     0, 0.5, -0.5, 0, 0, 1, 1, 1, 1]);
    var lights = new Float32Array(32);       // both dark, without a cone
    lights[1] = -2;
    lights[17] = -2;
    var identity = new Float32Array([1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1]);
    [false, true].forEach(function (depth) {
      if (depth) gl.enable(gl.DEPTH_TEST);
      gl.clear(gl.COLOR_BUFFER_BIT | gl.DEPTH_BUFFER_BIT);
      S.draw(false, vertices, new Uint16Array([0, 1, 2]), identity, lights);
      S.draw(true, vertices, new Uint16Array([0, 1]), identity, lights);
    });
    gl.disable(gl.DEPTH_TEST);
    gl.clear(gl.COLOR_BUFFER_BIT | gl.DEPTH_BUFFER_BIT);
    gl.flush();
    return 1;
  },

  webglCanvasSize__deps: ['$WebGLState'],
  webglCanvasSize: function(width, height) {
    var canvas = WebGLState.gl.canvas;
    if (canvas.width != width) canvas.width = width;
    if (canvas.height != height) canvas.height = height;
  },

  webglViewport__deps: ['$WebGLState'],
  webglViewport: function(x, y, w, h) {
    WebGLState.gl.viewport(x, y, w, h);
  },

  webglClear__deps: ['$WebGLState'],
  webglClear: function(mask) {
    WebGLState.gl.clear(mask);
  },

  webglEnable__deps: ['$WebGLState'],
  webglEnable: function(cap) {
    WebGLState.gl.enable(cap);
  },

  webglDraw__deps: ['$WebGLState'],
  webglDraw: function(lines, vertices, vertexCount, indices, indexCount, projection, lights) {
    WebGLState.draw(lines, HEAPF32.subarray(vertices >> 2, (vertices >> 2) + vertexCount * 9),
                    HEAPU16.subarray(indices >> 1, (indices >> 1) + indexCount),
                    HEAPF32.subarray(projection >> 2, (projection >> 2) + 16),
                    HEAPF32.subarray(lights >> 2, (lights >> 2) + 32));
  },

  // The picture lands at the canvas's lower-left corner, GL's raster
  // position, which the show never moves; what lies outside the canvas is
  // cut off.
  webglDrawPixels__deps: ['$WebGLState'],
  webglDrawPixels: function(width, height, rgba) {
    var S = WebGLState, gl = S.gl;
    gl.bindTexture(gl.TEXTURE_2D, S.texture);
    gl.texImage2D(gl.TEXTURE_2D, 0, gl.RGBA8, width, height, 0, gl.RGBA, gl.UNSIGNED_BYTE,
                  HEAPU8.subarray(rgba, rgba + width * height * 4));
    gl.bindFramebuffer(gl.READ_FRAMEBUFFER, S.pictureFramebuffer);
    gl.framebufferTexture2D(gl.READ_FRAMEBUFFER, gl.COLOR_ATTACHMENT0, gl.TEXTURE_2D, S.texture, 0);
    gl.blitFramebuffer(0, 0, width, height, 0, 0, width, height, gl.COLOR_BUFFER_BIT, gl.NEAREST);
    gl.bindFramebuffer(gl.READ_FRAMEBUFFER, null);
  },

  // The main loop's animation frames go through the page's pacer
  // (pacer.js): the loop asks for its next frame here, and the pacer runs it
  // in the first animation frame that is due. Without the pacer (the page
  // did not load it) every animation frame runs a frame. The pace is the
  // pacer's (60 frames a second, or the page address's fps=N).
  // webglPacedNow: a frame drawn now, outside the animation frames (the
  // first, in the click), from which the pacer counts the next moments.
  $WebGLPacer: { pacer: null },
  webglPaceFrames__deps: ['$Browser', '$WebGLPacer'],
  webglPaceFrames: function() {
    if (typeof DemoPacer === 'undefined') return;
    var pacer = WebGLPacer.pacer = DemoPacer.create(DemoPacer.showFps);
    Browser.requestAnimationFrame = function(func) { pacer.request(func); };
  },

  webglPacedNow__deps: ['$WebGLPacer'],
  webglPacedNow: function() {
    if (WebGLPacer.pacer) WebGLPacer.pacer.due(performance.now());
  },

  webglReadPixels__deps: ['$WebGLState'],
  webglReadPixels: function(x, y, width, height, rgba) {
    var gl = WebGLState.gl;
    gl.readPixels(x, y, width, height, gl.RGBA, gl.UNSIGNED_BYTE, HEAPU8.subarray(rgba, rgba + width * height * 4));
  },
});
